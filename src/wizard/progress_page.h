// progress_page.h: the page that runs the conversion and shows its progress.
#pragma once

#include "convertor/conversion_reporter.h"
#include "wizard/gui_bridge.h"
#include "wizard/wizard_page.h"

#include <chrono>
#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QProgressBar;

/// The bar's position: the tables done and the share of the current table's rows, in whole per
/// cent (each share truncated before they are added), never more than 100; 0 without tables.
int progress_percent(int tables_total, int tables_done, std::int64_t records_total,
                     std::int64_t records_done);

/// What the run tells the wizard: the start (the progress timer), its progress lines (the log
/// box), a selected table the source lacks and a failure outside the system's exceptions (both
/// kept for the finish page and the latter shown). Called on the run's thread.
class wizard_reporter final : public conversion_reporter
{
public:
    void start() override;
    void progress_line(const conversion_progress& line) override;
    void table_missing(const std::wstring& table, const std::wstring& what) override;
    void run_failed(const std::string& text) override;
    void index_failed(const std::wstring& table, const std::wstring& index,
                      const std::wstring& reason) override;
};

/// Step 6: runs the conversion on the page's worker the moment it is shown; the shell's 200 ms
/// tick shows the converter's counters, and the page moves on to the finish page by itself once
/// the run is done. Before the run the worker drops an existing destination in mode 0
/// (check_dest, the wizard's only drop); a drop that fails is shown with the driver's text, the
/// run does not start and the finish page lists why. Cancel during the run asks, then stops the
/// run cooperatively and waits for it before the wizard closes; the page then says so, and a
/// further Cancel, Escape or close box asks nothing.
class progress_page : public wizard_page
{
    Q_OBJECT
public:
    progress_page();
    ~progress_page() override;

    bool page_init() override;
    bool on_cancel() override;
    void tick() override;
    QPlainTextEdit* log_box() override { return m_log; }
    /// Stops a run still under way (cooperatively) and waits for it.
    void join_worker() override;
    /// Next only once the run is over (the page moves on by itself then).
    bool isComplete() const override;

    /// The run is under way.
    bool running() const { return m_worker.running(); }

    /// How long a stop waits for the run before the program ends without it: 12 seconds (a
    /// commit's 10 and the run's end after it), unless a test set another.
    static void set_stop_wait(std::chrono::milliseconds wait);

private:
    /// The worker's body: the destination's check, then the run.
    void run_conversion();

    QPlainTextEdit* m_log;
    QLabel* m_status;
    QProgressBar* m_bar;
    bool m_finished = false;
    /// A stop was asked for: ticks and further Cancels that come while the page waits for the
    /// run do nothing.
    bool m_stopping = false;
    wizard_reporter m_reporter;
    // Last: destroyed (joined) first.
    wizard_worker m_worker;
};
