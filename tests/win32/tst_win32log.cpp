#include "win32/Win32Log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

// The log file under a LOCALAPPDATA of the test's own.
namespace {

std::string readFile(const std::wstring &path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"tavrin-log-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
        ASSERT_TRUE(Win32Log::openFile("tavrin-log-test"));
        path = Win32Log::filePath("tavrin-log-test");
    }

    std::wstring folder;
    std::wstring path;
};

// The lines standard error gets, under the program's name in LOCALAPPDATA,
// with the time and process in front; debug lines only on request.
TEST_F(LogFile, HoldsTheLinesAndRotatesAtTheLimit)
{
    EXPECT_EQ(path, folder + L"\\tavrin-log-test\\tavrin-log-test.log");
    Win32Log::write(CoreLog::Area::App, CoreLog::Level::Warning, "another copy hangs");
    Win32Log::write(CoreLog::Area::Update, CoreLog::Level::Debug, "debug detail");
    Win32Log::write(CoreLog::Area::Update, CoreLog::Level::Info, "outcome 200 good");
    const std::string text = readFile(path);
    EXPECT_NE(text.find("] tavrin.app: warning: another copy hangs\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("] tavrin.update: outcome 200 good\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("debug detail"), std::string::npos);

    const std::string line(99, 'x');
    for (std::uint64_t written = 0; written < Win32Log::MaxFileBytes * 5 / 2; written += 150)
        Win32Log::write(CoreLog::Area::Update, CoreLog::Level::Info, line);
    Win32Log::write(CoreLog::Area::Update, CoreLog::Level::Info, "the last line");
    const std::string current = readFile(path);
    const std::string older = readFile(path + L".1");
    EXPECT_LE(current.size(), Win32Log::MaxFileBytes);
    EXPECT_LE(older.size(), Win32Log::MaxFileBytes);
    EXPECT_GT(older.size(), Win32Log::MaxFileBytes - 200);
    EXPECT_NE(current.find("the last line"), std::string::npos);
    EXPECT_EQ(older.find("another copy hangs"), std::string::npos);
}

} // namespace
