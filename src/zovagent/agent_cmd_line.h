// agent_cmd_line.h: the command-line tokenizer that classifies each argument by option prefix.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

/// A walk over command-line arguments, one at a time.
class TCmdLine
{
public:
    virtual ~TCmdLine() = default;

    /// Moves to the next argument. Throws tk_mail_assertion when none is left.
    virtual void next() = 0;
    /// True while there is a current argument.
    virtual bool has_more() const = 0;
};

/// One entry of an option table: the id an argument gets when it begins with `prefix`. A table
/// ends with an entry whose prefix is empty; that entry matches every argument.
struct cmd_line_option
{
    std::int32_t id;
    const char* prefix;
};

/// Walks an argument vector (the program name first) against an option table. Matching is a
/// plain prefix test in table order: "--helpme" counts as "--help". Arguments that match no
/// option are kept, every one of them, for the caller to refuse.
class ansi_cmd_line final : public TCmdLine
{
public:
    /// `argv` and `table` must outlive the walk. The first argument after the program name is
    /// classified at once.
    ansi_cmd_line(int argc, char** argv, std::span<const cmd_line_option> table);

    void next() override;
    bool has_more() const override { return m_remaining > 0; }

    /// The current argument's option id; -1 when it matched no option.
    std::int32_t id() const { return m_id; }
    /// The current argument's text after the matched prefix (the whole text when unmatched).
    const char* value() const { return m_value; }
    /// The arguments that matched no option so far, in command-line order.
    const std::vector<std::string>& unmatched() const { return m_unmatched; }

private:
    void classify();

    char** m_current;
    int m_remaining;
    std::span<const cmd_line_option> m_table;
    std::int32_t m_id = -1;
    const char* m_value = nullptr;
    std::vector<std::string> m_unmatched;
};
