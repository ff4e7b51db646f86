// tk_converter.cpp: the converter's toolkit base and its log-file check.
#include "tk/tk_converter.h"

#include "plat/plat_err.h"
#include "plat/plat_fs.h"
#include "tk/tk_exception.h"
#include "tk/tk_file.h"
#include "tk/tk_logger.h"

#include <cerrno>

tk_converter::tk_converter()
{
    tk_log(2, "tk_converter::ctor");
}

void tk_converter::check_logfile(const std::string& path)
{
    if (path.empty())
    {
        return;
    }
    if (tk_is_file_exist(path, 0) && !tk_is_file_exist(path, 1))
    {
        throw tk_exception("Logfile name specifies an existing read-only file.",
                           tk_severity::ends_run);
    }
    const tk_file_name name(path.c_str());
    if (!tk_is_path_exist(name.dir_name()))
    {
        throw tk_exception(
            "Logfile path does not exist.\nPlease verify the correct path was given.",
            tk_severity::ends_run);
    }
    // A directory, or a file the user may not create or append to, would lose every line in
    // silence. The test leaves an existing file as it is and removes a file it had to create.
    if (!plat::can_append(path))
    {
        const int error = plat::last_error();
        throw tk_exception(error == EISDIR ? "Logfile name specifies a directory: " + path
                                           : "Logfile cannot be written: " + path + " (" +
                                                 plat::error_text(error) + ")",
                           tk_severity::ends_run);
    }
}

void tk_converter::set_logfile(const std::string& path)
{
    tk_log(1, "tk_convertor::set_logfile(%s)", path);
    check_logfile(path);
    m_log_file = path;
    if (!m_log_file.empty())
    {
        tk_logger& logger = tk_logger::instance();
        logger.set_file_name(m_log_file.c_str());
        logger.set_enabled(true);
    }
}
