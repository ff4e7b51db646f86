// agent_tab_file.cpp: reading the table-list file into the converter's table list.
#include "zovagent/agent_tab_file.h"

#include "convertor/vandrel_convertor.h"
#include "plat/plat_text.h"
#include "tk/tk_file.h"
#include "tk/tk_logger.h"

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
        if (text.empty())
        {
            continue;
        }
        std::wstring name;
        if (!plat::utf8_to_wide(text, name))
        {
            fatal_exit(context, "Table names file is not valid UTF-8 text at line " +
                                    std::to_string(line_number) + ".");
        }
        names.push_back(std::move(name));
    }
    if (stream.bad() || (!stream.eof() && stream.fail()))
    {
        fatal_exit(context, "Table names file cannot be read.");
    }
    context.converter.tables() = std::move(names);
}
