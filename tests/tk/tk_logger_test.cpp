// tk_logger_test.cpp: the trace log's lifecycle, line format and concurrency.
#include "test_support.h"
#include "tk/tk_converter.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using test_support::read_file;
using test_support::temp_dir;
using test_support::write_file;

TEST(TkLogger, WithoutLoggerNothingHappens)
{
    ASSERT_EQ(tk_logger::find(), nullptr);
    tk_log(3, "no logger %d", 1);
    tk_wlog(3, L"no logger %s", std::wstring(L"x"));
}

TEST(TkLogger, DisabledLoggerNeitherWritesNorEmpties)
{
    temp_dir dir;
    write_file(dir.file("t.log"), "old");
    tk_logger logger(dir.file("t.log").c_str(), false, 3, false);
    tk_log(3, "line");
    EXPECT_EQ(read_file(dir.file("t.log")), "old");
}

TEST(TkLogger, FirstCallEmptiesTheFileEvenBelowThresholdThenLinesAppend)
{
    temp_dir dir;
    write_file(dir.file("a.log"), "previous run");
    write_file(dir.file("b.log"), "keep\r\n");
    tk_logger logger(nullptr, false, 3, false);
    tk_converter converter;

    converter.set_logfile(dir.file("a.log"));
    tk_log(2, "below threshold");
    EXPECT_EQ(read_file(dir.file("a.log")), "");

    tk_log(3, "first %d", 1);
    tk_wlog(3, L"second %s", std::wstring(L"two"));
    tk_log(3, "ends in newline\n");
    EXPECT_EQ(read_file(dir.file("a.log")), "first 1\r\nsecond two\r\nends in newline\n\r\n");

    // Another file later in the same run is appended to, never emptied.
    converter.set_logfile(dir.file("b.log"));
    tk_log(3, "more");
    EXPECT_EQ(read_file(dir.file("b.log")), "keep\r\nmore\r\n");
}

TEST(TkLogger, WideLinesAreUtf8WithoutNul)
{
    temp_dir dir;
    tk_logger logger(dir.file("w.log").c_str(), true, 3, false);
    tk_wlog(3, L"Field '%s' %c", std::wstring(L"caf\u00E9\U0001F600"), L'\u00E9');
    EXPECT_EQ(read_file(dir.file("w.log")), "Field 'caf\xC3\xA9\xF0\x9F\x98\x80' \xC3\xA9\r\n");
}

TEST(TkLogger, OverlongWideLineIsCutAtACharacterNotLost)
{
    temp_dir dir;
    tk_logger logger(dir.file("long.log").c_str(), true, 3, false);
    const std::wstring text(12000, L'\u00E9');
    tk_wlog(3, L"%s", text);
    const std::string written = read_file(dir.file("long.log"));
    std::string expected;
    for (int idx = 0; idx < 10239; ++idx)
    {
        expected += "\xC3\xA9";
    }
    EXPECT_EQ(written, expected + "\r\n");
}

TEST(TkLogger, TimeStampPrefixesEachLine)
{
    temp_dir dir;
    tk_logger logger(dir.file("ts.log").c_str(), true, 1, true);
    tk_log(1, "x");
    const std::string line = read_file(dir.file("ts.log"));
    ASSERT_EQ(line.size(), 12u);
    EXPECT_EQ(line[2], ':');
    EXPECT_EQ(line[5], ':');
    EXPECT_EQ(line.substr(8), " x\r\n");
}

TEST(TkLogger, ConcurrentWritersLoseNoLine)
{
    temp_dir dir;
    tk_logger logger(dir.file("mt.log").c_str(), true, 3, false);
    constexpr int threads = 8;
    constexpr int lines = 200;
    std::vector<std::thread> writers;
    for (int writer_idx = 0; writer_idx < threads; ++writer_idx)
    {
        writers.emplace_back(
            [writer_idx]
            {
                for (int line_idx = 0; line_idx < lines; ++line_idx)
                {
                    tk_log(3, "writer %d line %d", writer_idx, line_idx);
                }
            });
    }
    for (std::thread& writer : writers)
    {
        writer.join();
    }
    const std::string text = read_file(dir.file("mt.log"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), threads * lines);
    for (int writer_idx = 0; writer_idx < threads; ++writer_idx)
    {
        const std::string last =
            "writer " + std::to_string(writer_idx) + " line " + std::to_string(lines - 1) + "\r\n";
        EXPECT_NE(text.find(last), std::string::npos) << last;
    }
}

TEST(TkLogger, SetLogfileRejectsReadOnlyFileAndMissingDirectory)
{
    temp_dir dir;
    tk_logger logger(nullptr, false, 3, false);
    tk_converter converter;
    write_file(dir.file("ro.log"), "x");
    ASSERT_EQ(::chmod(dir.file("ro.log").c_str(), 0444), 0);

    struct
    {
        std::string path;
        std::string message;
    } cases[] = {
        {dir.file("ro.log"), "Logfile name specifies an existing read-only file."},
        {dir.file("missing/sub/x.log"),
         "Logfile path does not exist.\nPlease verify the correct path was given."},
        {dir.path().string(), "Logfile name specifies a directory: " + dir.path().string()},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path);
        try
        {
            converter.set_logfile(test.path);
            ADD_FAILURE() << "no exception";
        }
        catch (const tk_exception& error)
        {
            EXPECT_EQ(error.message(), test.message);
            EXPECT_EQ(error.severity(), 1);
        }
        EXPECT_EQ(converter.log_file(), "");
        EXPECT_FALSE(logger.enabled());
    }

    converter.set_logfile("");
    EXPECT_FALSE(logger.enabled());
    EXPECT_EQ(logger.file_name(), tk_logger::default_file_name());
}

TEST(TkLogger, LogfileCheckChangesNoFileAndTakesDevices)
{
    temp_dir dir;
    write_file(dir.file("kept.log"), "earlier run");
    for (const std::string path :
         {dir.file("kept.log"), dir.file("new.log"), std::string("/dev/null")})
    {
        SCOPED_TRACE(path);
        EXPECT_NO_THROW(tk_converter::check_logfile(path));
    }
    EXPECT_EQ(read_file(dir.file("kept.log")), "earlier run");
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.log")));
}

TEST(TkLogger, LogfileInADirectoryThatCannotBeWrittenIsRefused)
{
    if (::geteuid() == 0)
    {
        GTEST_SKIP() << "run as root, which may write into a read-only directory";
    }
    temp_dir dir;
    std::filesystem::create_directory(dir.path() / "locked");
    ASSERT_EQ(::chmod(dir.file("locked").c_str(), 0555), 0);
    const std::string path = dir.file("locked/x.log");
    try
    {
        tk_converter::check_logfile(path);
        ADD_FAILURE() << "no exception";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(), "Logfile cannot be written: " + path + " (Permission denied)");
    }
    ::chmod(dir.file("locked").c_str(), 0755);
}

TEST(TkLogger, LinesLostToAFullDiskAreNoticedOnce)
{
    if (!std::filesystem::exists("/dev/full"))
    {
        GTEST_SKIP() << "this system has no /dev/full";
    }
    temp_dir dir;
    tk_logger logger(nullptr, false, 3, false);
    tk_converter converter;
    converter.set_logfile(dir.file("fine.log"));
    tk_log(3, "kept");
    EXPECT_FALSE(logger.write_failed());
    converter.set_logfile("/dev/full");
    tk_log(2, "below the threshold: nothing to write");
    EXPECT_FALSE(logger.write_failed());
    tk_log(3, "lost");
    tk_log(3, "lost too");
    EXPECT_TRUE(logger.write_failed());
    EXPECT_EQ(logger.write_error(), ENOSPC);
    EXPECT_EQ(logger.write_failure_text(), "The trace log /dev/full could not be written (No space "
                                           "left on device); some of its lines are missing.");
    EXPECT_EQ(read_file(dir.file("fine.log")), "kept\r\n");
}

TEST(TkLogger, DefaultFileNameIsTheProgramPathWithLogExtension)
{
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string expected =
        program.substr(0, program.rfind('.') > program.rfind('/') ? program.rfind('.')
                                                                  : program.size()) +
        ".log";
    EXPECT_EQ(tk_logger::default_file_name(), expected);
}

TEST(TkSingleton, SecondInstanceAndMissingInstanceAreInternalErrors)
{
    {
        tk_logger first(nullptr, false, 3, false);
        EXPECT_EQ(&tk_logger::instance(), &first);
        try
        {
            tk_logger second(nullptr, false, 3, false);
            ADD_FAILURE() << "second instance accepted";
        }
        catch (const tk_mail_assertion& error)
        {
            // "..\TK/tk_singl\35" in hex
            EXPECT_EQ(error.message(), "Internal error: \ncode=2e2e5c544b2f746b5f73696e676c5c3335");
        }
        EXPECT_EQ(tk_logger::find(), &first);
    }
    EXPECT_EQ(tk_logger::find(), nullptr);
    EXPECT_THROW(tk_logger::instance(), tk_mail_assertion);
    EXPECT_THROW(tk_logger::instance_ptr(), tk_mail_assertion);
}

} // namespace
