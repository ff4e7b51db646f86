// plat_fs_test.cpp: path splitting, full paths and the file and directory tests.
#include "plat/plat_err.h"
#include "plat/plat_fs.h"
#include "test_support.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

struct split_case
{
    const char* path;
    const char* dir;
    const char* name;
    const char* ext;
};

class PlatSplitPath : public testing::TestWithParam<split_case>
{
};

TEST_P(PlatSplitPath, SplitsLikeTheWindowsRuntimeAndJoinsBack)
{
    const split_case& test = GetParam();
    const plat::path_parts parts = plat::split_path(test.path);
    EXPECT_EQ(parts.drive, "");
    EXPECT_EQ(parts.dir, test.dir);
    EXPECT_EQ(parts.name, test.name);
    EXPECT_EQ(parts.ext, test.ext);
    EXPECT_EQ(plat::make_path(parts), test.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatSplitPath,
    testing::Values(split_case{"/tmp/x/Table.sql", "/tmp/x/", "Table", ".sql"},
                    split_case{"/home/u/.bashrc", "/home/u/", "", ".bashrc"},
                    split_case{"/tmp/archive.tar.gz", "/tmp/", "archive.tar", ".gz"},
                    split_case{"/a.b/c", "/a.b/", "c", ""},
                    split_case{"/tmp/x/", "/tmp/x/", "", ""},
                    split_case{"/tmp/name.", "/tmp/", "name", "."},
                    split_case{"file", "", "file", ""}, split_case{"/", "/", "", ""},
                    split_case{"", "", "", ""},
                    split_case{"/tmp/x\\y.txt", "/tmp/", "x\\y", ".txt"},
                    split_case{"/d/\xC3\xA9t\xC3\xA9.log", "/d/", "\xC3\xA9t\xC3\xA9", ".log"}));

TEST(PlatFs, MakePathAddsMissingSeparatorAndDot)
{
    EXPECT_EQ(plat::make_path({"", "/tmp", "a", "log"}), "/tmp/a.log");
    EXPECT_EQ(plat::make_path({"", "/tmp/", "", ".exe"}), "/tmp/.exe");
    EXPECT_EQ(plat::make_path({"", "", "a", ""}), "a");
}

TEST(PlatFs, FullPathIsAbsoluteAndLexicallyNormal)
{
    const std::string cwd = plat::get_cwd().value();
    const std::string long_path = "/" + std::string(300, 'd') + "/" + std::string(300, 'f');
    const struct
    {
        std::string path;
        std::string expected;
    } cases[] = {
        {"/a/b/../c", "/a/c"},
        {"/a/./b//c", "/a/b/c"},
        {"/a/b/", "/a/b/"},
        {"x/y.log", cwd + "/x/y.log"},
        {"", cwd},
        {long_path, long_path},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path);
        EXPECT_EQ(plat::full_path(test.path), test.expected);
    }
}

TEST(PlatFs, PathWithNulNamesNothing)
{
    const std::string path("/tmp\0/etc/passwd", 16);
    EXPECT_FALSE(plat::full_path(path).has_value());
    EXPECT_EQ(plat::last_error(), EINVAL);
    EXPECT_FALSE(plat::can_open(path, false));
    EXPECT_FALSE(plat::is_dir(path));
}

TEST(PlatFs, CanOpenAcceptsOnlyRegularFilesAndHonoursTheWriteBits)
{
    test_support::temp_dir dir;
    const std::string normal = dir.file("normal.txt");
    const std::string read_only = dir.file("read_only.txt");
    const std::string fifo = dir.file("fifo");
    test_support::write_file(normal, "x");
    test_support::write_file(read_only, "x");
    ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

    const struct
    {
        std::string path;
        bool write;
        bool expected;
        int error;
    } cases[] = {
        {normal, false, true, 0},
        {normal, true, true, 0},
        // Holds for root as well, who could open the file for writing.
        {read_only, false, true, 0},
        {read_only, true, false, EACCES},
        {dir.path().string(), false, false, EISDIR},
        {dir.path().string(), true, false, EISDIR},
        {fifo, false, false, EINVAL},
        {dir.file("missing"), false, false, ENOENT},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path + (test.write ? " write" : " read"));
        plat::set_last_error(0);
        EXPECT_EQ(plat::can_open(test.path, test.write), test.expected);
        EXPECT_EQ(plat::last_error(), test.error);
    }
}

TEST(PlatFs, IsDirAnswersForDirectoriesOnlyAndKeepsTheWorkingDirectory)
{
    test_support::temp_dir dir;
    const std::string file = dir.file("f");
    test_support::write_file(file, "x");
    const std::string cwd = plat::get_cwd().value();

    EXPECT_TRUE(plat::is_dir(dir.path().string()));
    EXPECT_TRUE(plat::is_dir(dir.path().string() + "/"));
    EXPECT_FALSE(plat::is_dir(file));
    EXPECT_EQ(plat::last_error(), ENOTDIR);
    EXPECT_FALSE(plat::is_dir(dir.file("missing")));
    EXPECT_EQ(plat::last_error(), ENOENT);
    EXPECT_FALSE(plat::is_dir(""));
    EXPECT_EQ(plat::get_cwd(), cwd);
}

TEST(PlatFs, ChangeDirMovesAndReportsFailure)
{
    test_support::temp_dir dir;
    const std::string cwd = plat::get_cwd().value();
    ASSERT_TRUE(plat::change_dir(dir.path().string()));
    EXPECT_EQ(plat::get_cwd(), std::filesystem::canonical(dir.path()).string());
    ASSERT_TRUE(plat::change_dir(cwd));
    EXPECT_FALSE(plat::change_dir(dir.file("missing")));
    EXPECT_EQ(plat::last_error(), ENOENT);
    EXPECT_EQ(plat::get_cwd(), cwd);
}

TEST(PlatFs, ModulePathIsTheRunningTestProgram)
{
    const std::string path = plat::module_path();
    EXPECT_EQ(path, std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_EQ(plat::split_path(path).name, "plat_tests");
}

} // namespace
