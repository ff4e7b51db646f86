// agent_tab_file.cpp: reading the table-list file into the converter's table list.
#include "zovagent/agent_tab_file.h"

#include "convertor/vandrel_convertor.h"
#include "plat/plat_text.h"
#include "tk/tk_file.h"
#include "tk/tk_logger.h"
#include "udb/udb_table_key.h"

#include <fstream>
#include <string_view>
#include <vector>

namespace
{

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

} // namespace

void process_tab_file(const std::string& path, agent_context& context)
{
    tk_log(1, "process_tab_file(%s)", path);
    if (!tk_is_file_exist(path, 0))
    {
        fatal_exit(context, "Table names file does not exist.\nPlease verify the correct "
                            "path/name was given.");
    }
    // Binary mode: the line ends are handled here, so a CR LF file reads the same everywhere.
    std::ifstream stream(path, std::ios::binary);
    std::vector<std::wstring> names;
    std::string line;
    int line_number = 0;
    bool first_line_seen = false;
    // Whole lines of any length: a long name is kept intact (the run reports it as missing).
    while (std::getline(stream, line))
    {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        if (line.empty())
        {
            continue;
        }
        std::string_view text = line;
        // With or without the mark the text is UTF-8, the narrow encoding of this system; the
        // mark only has to go.
        if (!first_line_seen && text.substr(0, utf8_bom.size()) == utf8_bom)
        {
            text.remove_prefix(utf8_bom.size());
        }
        first_line_seen = true;
        // A line of blanks names no table: taken as a name, it would only be reported missing.
        // Other lines keep their blanks.
        if (text.find_first_not_of(" \t") == std::string_view::npos)
        {
            continue;
        }
        std::wstring name;
        if (!plat::utf8_to_wide(text, name))
        {
            fatal_exit(context, "Table names file is not valid UTF-8 text at line " +
                                    std::to_string(line_number) + ".");
        }
        // As the source writes its keys: `"public".t` is public.t, `"sch.dot".t` stays quoted.
        names.push_back(udb_normal_table_key(name));
    }
    if (stream.bad() || (!stream.eof() && stream.fail()))
    {
        fatal_exit(context, "Table names file cannot be read.");
    }
    // An empty list would read as "every table", which the user did not ask for.
    if (names.empty())
    {
        fatal_exit(context, "Table list " + path + " names no table");
    }
    // The list replaces what a profile before it selected, queries included.
    context.converter.selected().clear();
    context.converter.tables() = std::move(names);
}
