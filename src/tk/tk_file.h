// tk_file.h: the program's own path, split file names, a scoped working directory, file tests.
#pragma once

#include <cstdint>
#include <string>

/// A narrow (UTF-8) path made absolute and split into its parts. Drive letters do not exist
/// here, so `drive` stays empty.
class tk_file_name
{
public:
    /// Throws tk_mail_assertion for a null path (31) or one that cannot be made absolute (39);
    /// an empty path splits the program's own path and leaves `name` empty.
    explicit tk_file_name(const char* path);
    explicit tk_file_name(const std::string& path);

    /// The parts joined again.
    std::string make_path() const;
    /// Drive and directory, with the trailing separator.
    std::string dir_name() const { return drive + dir; }

    std::string ext; ///< with its dot
    std::string drive;
    std::string name; ///< without the extension
    std::string dir;  ///< with its trailing separator

private:
    void initialize(const std::string& path);
};

/// The wide form of tk_file_name.
class tk_file_wname
{
public:
    /// Throws tk_mail_assertion for a null path (81) or one that cannot be made absolute (89);
    /// an empty path splits the program's own path and leaves `name` empty.
    explicit tk_file_wname(const wchar_t* path);
    explicit tk_file_wname(const std::wstring& path);

    std::wstring make_path() const;
    std::wstring dir_name() const { return drive + dir; }

    std::wstring ext;
    std::wstring drive;
    std::wstring name;
    std::wstring dir;

private:
    void initialize(const std::wstring& path);
};

/// Changes the process's working directory for its lifetime and changes back on destruction.
/// It changes it for every thread, so it is kept to the few places that need it.
class tk_temp_chdir
{
public:
    /// An empty path means the program's directory. Failures are logged and leave ok() false.
    explicit tk_temp_chdir(const std::string& path);
    ~tk_temp_chdir();
    tk_temp_chdir(const tk_temp_chdir&) = delete;
    tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;

    bool ok() const { return m_ok; }
    const std::string& saved_dir() const { return m_saved_dir; }

private:
    void initialize(const std::string& path);

    bool m_ok = false;
    std::string m_saved_dir;
};

/// The program file's full path; throws tk_mail_assertion ("tk_utils", 116) when unreadable.
std::string tk_get_module_file_name();
/// The same, wide; throws tk_mail_assertion ("tk_utils", 129) when unreadable.
std::wstring tk_get_module_file_name_w();
/// The program file's directory with its trailing separator; throws as tk_get_module_file_name.
std::string tk_get_module_dir();

/// The version (major << 16 | minor) that a Windows library reports of itself. No library here
/// reports one, so this logs the failure and answers 0.
std::uint32_t tk_get_dll_version(const std::wstring& path);

/// True when `path` is an existing regular file that opens for reading, or with `mode` 1 for
/// reading and writing (a file without write bits is read-only even for root). Never throws.
bool tk_is_file_exist(const std::string& path, int mode);
bool tk_is_file_exist_w(const std::wstring& path, int mode);

/// True when `path` is a directory the process may enter; the working directory is not touched.
bool tk_is_path_exist(const std::string& path);
