// conversion_reporter.h: what a conversion run tells its front-end besides the log and errors.
#pragma once

#include <cstdint>
#include <string>

/// Which of the run's progress lines is sent.
enum class progress_kind
{
    database, ///< once, before the first table
    schema,   ///< before each table: the destination schema the run makes sure of
    table     ///< each table that is created: its key and row count
};

/// One progress line: the run's own text and the facts a front-end needs to word it its own way.
struct conversion_progress
{
    progress_kind kind = progress_kind::database;
    /// The run's text, ending in a line feed ("Converting table public.orders (7 records)\n").
    std::wstring text;
    /// The source database, the destination schema or the table key.
    std::wstring name;
    /// The number of tables of the database or of rows of the table; 0 for a schema line.
    std::int64_t count = 0;
};

/// The run's outlet to its front-end. Every call comes on the run's thread; a front-end whose
/// window lives on another thread marshals the call there.
class conversion_reporter
{
public:
    virtual ~conversion_reporter() = default;

    /// The run has begun (the wizard starts its progress timer).
    virtual void start() = 0;
    /// A progress line (database, schema or table).
    virtual void progress_line(const conversion_progress& line) = 0;
    /// A selected whole table that the source does not have as a table; the run skips it.
    /// `what` says what the name is instead ("is a view: views are not converted"); empty when
    /// the source has nothing of that name.
    virtual void table_missing(const std::wstring& table, const std::wstring& what) = 0;
    /// The run ended through a failure outside the system's exception family.
    virtual void run_failed(const std::string& text) = 0;
    /// An index of the table `table` (the source's key) that the destination could not create,
    /// and why; the table is converted without it.
    virtual void index_failed(const std::wstring& table, const std::wstring& index,
                              const std::wstring& reason) = 0;
};

/// The reporter of a run that nobody watches.
class null_reporter final : public conversion_reporter
{
public:
    void start() override {}
    void progress_line(const conversion_progress&) override {}
    void table_missing(const std::wstring&, const std::wstring&) override {}
    void run_failed(const std::string&) override {}
    void index_failed(const std::wstring&, const std::wstring&, const std::wstring&) override {}
};
