// tk_file_test.cpp: split file names, the program's path, the file and directory tests.
#include "plat/plat_fs.h"
#include "plat/plat_text.h"
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_file.h"
#include "tk/tk_logger.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

using test_support::read_file;
using test_support::temp_dir;

std::string program()
{
    return std::filesystem::canonical("/proc/self/exe").string();
}

std::string program_dir()
{
    return std::filesystem::path(program()).parent_path().string() + "/";
}

TEST(TkFile, FileNamesAreMadeAbsoluteAndSplit)
{
    const std::string cwd = plat::get_cwd().value();
    const struct
    {
        std::string path;
        std::string dir;
        std::string name;
        std::string ext;
    } cases[] = {
        {"/tmp/x/Table.sql", "/tmp/x/", "Table", ".sql"},
        {"/tmp/x/../y/.bashrc", "/tmp/y/", "", ".bashrc"},
        {"sub/../a.b.c", cwd + "/", "a.b", ".c"},
        {"/d/\xC3\xA9t\xC3\xA9.log", "/d/", "\xC3\xA9t\xC3\xA9", ".log"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path);
        const tk_file_name narrow(test.path.c_str());
        EXPECT_EQ(narrow.drive, "");
        EXPECT_EQ(narrow.dir, test.dir);
        EXPECT_EQ(narrow.name, test.name);
        EXPECT_EQ(narrow.ext, test.ext);
        EXPECT_EQ(narrow.dir_name(), test.dir);
        EXPECT_EQ(narrow.make_path(), test.dir + test.name + test.ext);

        const tk_file_wname wide(plat::utf8_to_wide_lossy(test.path));
        EXPECT_EQ(wide.drive, L"");
        EXPECT_EQ(wide.dir, plat::utf8_to_wide_lossy(test.dir));
        EXPECT_EQ(wide.name, plat::utf8_to_wide_lossy(test.name));
        EXPECT_EQ(wide.ext, plat::utf8_to_wide_lossy(test.ext));
        EXPECT_EQ(wide.make_path(), plat::utf8_to_wide_lossy(test.dir + test.name + test.ext));
    }
}

TEST(TkFile, EmptyPathSplitsTheProgramPathWithoutItsName)
{
    const plat::path_parts parts = plat::split_path(program());
    const tk_file_name narrow("");
    EXPECT_EQ(narrow.dir, program_dir());
    EXPECT_EQ(narrow.name, "");
    EXPECT_EQ(narrow.ext, parts.ext);
    EXPECT_EQ(narrow.make_path(), program_dir() + parts.ext);

    const tk_file_wname wide(L"");
    EXPECT_EQ(wide.dir, plat::utf8_to_wide_lossy(program_dir()));
    EXPECT_EQ(wide.name, L"");
    EXPECT_EQ(wide.make_path(), plat::utf8_to_wide_lossy(program_dir() + parts.ext));
}

TEST(TkFile, NullPathIsAnInternalError)
{
    const struct
    {
        std::function<void()> make;
        const char* message;
    } cases[] = {
        {[] { tk_file_name(static_cast<const char*>(nullptr)); },
         "Internal error: \ncode=746b5f666e616d655c3331"},
        {[] { tk_file_wname(static_cast<const wchar_t*>(nullptr)); },
         "Internal error: \ncode=746b5f666e616d655c3831"},
    };
    for (const auto& test : cases)
    {
        try
        {
            test.make();
            ADD_FAILURE() << "no exception for " << test.message;
        }
        catch (const tk_mail_assertion& error)
        {
            EXPECT_STREQ(error.what(), test.message);
            EXPECT_EQ(error.severity(), 2);
        }
    }
}

TEST(TkFile, WideFileNameLogsBothLines)
{
    temp_dir dir;
    tk_logger logger(dir.file("t.log").c_str(), true, 1, false);
    const tk_file_wname name(L"/d/\u00E9.txt");
    EXPECT_EQ(read_file(dir.file("t.log")), "tk_file_name::ctor(/d/\xC3\xA9.txt)\r\n"
                                            "tk_file_wname::initialize(/d/\xC3\xA9.txt)\r\n");
}

TEST(TkFile, FileExistsOnlyForRegularFilesAndMode1RefusesReadOnlyOnes)
{
    temp_dir dir;
    const std::string normal = dir.file("n\xC3\xA4me.txt");
    const std::string read_only = dir.file("read_only.txt");
    test_support::write_file(normal, "x");
    test_support::write_file(read_only, "x");
    ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);

    const struct
    {
        std::string path;
        int mode;
        bool expected;
    } cases[] = {
        {normal, 0, true},
        {normal, 1, true},
        // Also as root, who could write it.
        {read_only, 0, true},
        {read_only, 1, false},
        {dir.path().string(), 0, false},
        {dir.path().string(), 1, false},
        {dir.file("missing"), 0, false},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path + " mode " + std::to_string(test.mode));
        EXPECT_EQ(tk_is_file_exist(test.path, test.mode), test.expected);
        EXPECT_EQ(tk_is_file_exist_w(plat::utf8_to_wide_lossy(test.path), test.mode),
                  test.expected);
    }
}

TEST(TkFile, FileTestLogsItsPathAndFailure)
{
    temp_dir dir;
    tk_logger logger(dir.file("t.log").c_str(), true, 1, false);
    const std::string missing = dir.file("missing");
    EXPECT_FALSE(tk_is_file_exist(missing, 0));
    EXPECT_EQ(read_file(dir.file("t.log")), "tk_is_file_exist(" + missing +
                                                ")\r\n"
                                                "File not exists!\r\n");
}

TEST(TkFile, PathExistsForDirectoriesWithoutChangingTheWorkingDirectory)
{
    temp_dir dir;
    test_support::write_file(dir.file("f"), "x");
    const std::string cwd = plat::get_cwd().value();
    const struct
    {
        std::string path;
        bool expected;
    } cases[] = {
        {dir.path().string(), true},
        {dir.path().string() + "/", true},
        {dir.file("f"), false},
        {dir.file("missing"), false},
        {"", false},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path);
        EXPECT_EQ(tk_is_path_exist(test.path), test.expected);
        EXPECT_EQ(plat::get_cwd(), cwd);
    }
}

TEST(TkFile, TempChdirChangesAndRestoresTheWorkingDirectory)
{
    temp_dir dir;
    const std::string cwd = plat::get_cwd().value();
    {
        tk_temp_chdir change(dir.path().string());
        EXPECT_TRUE(change.ok());
        EXPECT_EQ(change.saved_dir(), cwd);
        EXPECT_EQ(plat::get_cwd(), std::filesystem::canonical(dir.path()).string());
    }
    EXPECT_EQ(plat::get_cwd(), cwd);
    {
        tk_temp_chdir change("");
        EXPECT_EQ(plat::get_cwd().value() + "/", program_dir());
    }
    EXPECT_EQ(plat::get_cwd(), cwd);
}

TEST(TkFile, TempChdirIntoAMissingDirectoryLogsAndStaysPut)
{
    temp_dir dir;
    tk_logger logger(dir.file("t.log").c_str(), true, 1, false);
    const std::string cwd = plat::get_cwd().value();
    {
        tk_temp_chdir change(dir.file("missing"));
        EXPECT_FALSE(change.ok());
        EXPECT_EQ(plat::get_cwd(), cwd);
    }
    EXPECT_EQ(plat::get_cwd(), cwd);
    EXPECT_EQ(read_file(dir.file("t.log")),
              "tk_temp_chdir::initialize(" + dir.file("missing") + ")\r\n_chdir failed\r\n");
}

TEST(TkFile, ModulePathsNameTheRunningProgram)
{
    EXPECT_EQ(tk_get_module_file_name(), program());
    EXPECT_EQ(tk_get_module_file_name_w(), plat::utf8_to_wide_lossy(program()));
    EXPECT_EQ(tk_get_module_dir(), program_dir());
}

TEST(TkFile, DllVersionIsZeroAndLogged)
{
    temp_dir dir;
    tk_logger logger(dir.file("t.log").c_str(), true, 1, false);
    EXPECT_EQ(tk_get_dll_version(L"comctl32.dll"), 0u);
    EXPECT_EQ(read_file(dir.file("t.log")), "get_dll_version failed to load DLL\r\n");
}

} // namespace
