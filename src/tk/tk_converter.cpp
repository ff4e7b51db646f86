// tk_converter.cpp: the converter's toolkit base and its log-file check.
#include "tk/tk_converter.h"

#include "tk/tk_exception.h"
#include "tk/tk_file.h"
#include "tk/tk_logger.h"

tk_converter::tk_converter()
{
    tk_log(2, "tk_converter::ctor");
}

void tk_converter::set_logfile(const std::string& path)
{
    tk_log(1, "tk_convertor::set_logfile(%s)", path);
    if (!path.empty())
    {
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
    }
    m_log_file = path;
    if (!m_log_file.empty())
    {
        tk_logger& logger = tk_logger::instance();
        logger.set_file_name(m_log_file.c_str());
        logger.set_enabled(true);
    }
}
