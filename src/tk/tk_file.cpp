// tk_file.cpp: the program's own path, split file names, a scoped working directory, file tests.
#include "tk/tk_file.h"

#include "plat/plat_fs.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <optional>

// Paths are UTF-8 bytes on this system; they are decoded leniently, so that a byte sequence that
// is not UTF-8 (possible in a working directory) still gives a usable wide name.

tk_file_name::tk_file_name(const char* path)
{
    tk_log(1, "tk_file_name::ctor(%s)", path);
    if (path == nullptr)
    {
        throw tk_mail_assertion("tk_fname", 31);
    }
    initialize(path);
}

tk_file_name::tk_file_name(const std::string& path)
{
    tk_log(1, "tk_file_name::ctor(%s)", path);
    initialize(path);
}

void tk_file_name::initialize(const std::string& path)
{
    plat::path_parts parts;
    if (path.empty())
    {
        parts = plat::split_path(tk_get_module_file_name());
        parts.name.clear();
    }
    else
    {
        const std::optional<std::string> full = plat::full_path(path);
        if (!full)
        {
            throw tk_mail_assertion("tk_fname", 39);
        }
        parts = plat::split_path(*full);
    }
    ext = std::move(parts.ext);
    drive = std::move(parts.drive);
    name = std::move(parts.name);
    dir = std::move(parts.dir);
}

std::string tk_file_name::make_path() const
{
    return plat::make_path({drive, dir, name, ext});
}

tk_file_wname::tk_file_wname(const wchar_t* path)
{
    tk_wlog(1, L"tk_file_name::ctor(%s)", path);
    if (path == nullptr)
    {
        throw tk_mail_assertion("tk_fname", 81);
    }
    initialize(path);
}

tk_file_wname::tk_file_wname(const std::wstring& path)
{
    tk_wlog(1, L"tk_file_name::ctor(%s)", path);
    initialize(path);
}

void tk_file_wname::initialize(const std::wstring& path)
{
    tk_wlog(1, L"tk_file_wname::initialize(%s)", path);
    plat::path_parts parts;
    if (path.empty())
    {
        parts = plat::split_path(plat::wide_to_utf8(tk_get_module_file_name_w()));
        parts.name.clear();
    }
    else
    {
        const std::optional<std::string> full = plat::full_path(plat::wide_to_utf8(path));
        if (!full)
        {
            throw tk_mail_assertion("tk_fname", 89);
        }
        parts = plat::split_path(*full);
    }
    ext = plat::utf8_to_wide_lossy(parts.ext);
    drive = plat::utf8_to_wide_lossy(parts.drive);
    name = plat::utf8_to_wide_lossy(parts.name);
    dir = plat::utf8_to_wide_lossy(parts.dir);
}

std::wstring tk_file_wname::make_path() const
{
    return plat::utf8_to_wide_lossy(
        plat::make_path({plat::wide_to_utf8(drive), plat::wide_to_utf8(dir),
                         plat::wide_to_utf8(name), plat::wide_to_utf8(ext)}));
}

tk_temp_chdir::tk_temp_chdir(const std::string& path)
{
    initialize(path.empty() ? tk_get_module_dir() : path);
}

tk_temp_chdir::~tk_temp_chdir()
{
    if (m_ok)
    {
        // Nothing can be reported from here; a directory that vanished meanwhile stays left.
        plat::change_dir(m_saved_dir);
    }
}

void tk_temp_chdir::initialize(const std::string& path)
{
    tk_log(2, "tk_temp_chdir::initialize(%s)", path);
    std::optional<std::string> cwd = plat::get_cwd();
    if (!cwd)
    {
        tk_log(2, "_getcwd failed");
        return;
    }
    m_saved_dir = std::move(*cwd);
    if (!plat::change_dir(path))
    {
        tk_log(2, "_chdir failed");
        return;
    }
    m_ok = true;
}

std::string tk_get_module_file_name()
{
    std::string path = plat::module_path();
    if (path.empty())
    {
        throw tk_mail_assertion("tk_utils", 116);
    }
    return path;
}

std::wstring tk_get_module_file_name_w()
{
    const std::string path = plat::module_path();
    if (path.empty())
    {
        throw tk_mail_assertion("tk_utils", 129);
    }
    return plat::utf8_to_wide_lossy(path);
}

std::string tk_get_module_dir()
{
    const plat::path_parts parts = plat::split_path(tk_get_module_file_name());
    return parts.drive + parts.dir;
}

std::uint32_t tk_get_dll_version(const std::wstring& /*path*/)
{
    tk_log(1, "get_dll_version failed to load DLL");
    return 0;
}

bool tk_is_file_exist(const std::string& path, int mode)
{
    tk_log(1, "tk_is_file_exist(%s)", path);
    if (plat::can_open(path, mode == 1))
    {
        return true;
    }
    tk_log(1, "File not exists!");
    return false;
}

bool tk_is_file_exist_w(const std::wstring& path, int mode)
{
    tk_wlog(1, L"tk_is_file_exist(%s)", path);
    if (plat::can_open(plat::wide_to_utf8(path), mode == 1))
    {
        return true;
    }
    tk_log(1, "File not exists!");
    return false;
}

bool tk_is_path_exist(const std::string& path)
{
    tk_log(1, "tk_is_path_exist(%s)", path);
    return plat::is_dir(path);
}
