#include "win32/app/SingleInstance.h"

#include "ParamName.h"
#include "base/CoreLog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const kHoldFlag = "--hold-instance";

std::vector<std::string> g_logLines;
std::atomic<int> g_showRequests{0};
std::atomic<HWND> g_shownWindow{nullptr};
// The test's windows live on a desktop of their own, away from whatever else
// runs in the Wine session; FindWindowW searches the calling thread's desktop.
HDESK g_desktop = nullptr;

void recordLine(CoreLog::Area area, CoreLog::Level, const std::string &message)
{
    g_logLines.push_back((area == CoreLog::Area::App ? "app: " : "other: ") + message);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SingleInstance::showRequestMessage()) {
        g_shownWindow = window;
        ++g_showRequests;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Each case claims a name of its own.
std::string caseName()
{
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("TavrinTest.") + info->test_suite_name() + "." + info->name();
    for (char &ch : name) {
        if (ch == '/')
            ch = '.';
    }
    return name;
}

class SingleInstanceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        g_logLines.clear();
        g_showRequests = 0;
        g_shownWindow = nullptr;
        CoreLog::setSink(&recordLine);
    }
    void TearDown() override { CoreLog::setSink(nullptr); }
};

// The first start's main window, made on a thread of its own after a delay,
// which pumps its messages until the show request comes or time runs out.
class FirstWindow
{
public:
    FirstWindow(const std::string &applicationName, DWORD delayMs)
        : m_className(SingleInstance::windowClassName(applicationName)),
          m_thread([this, delayMs] { run(delayMs); })
    {
    }
    ~FirstWindow()
    {
        m_stop = true;
        m_thread.join();
    }
    HWND window() const { return m_window; }
    bool waitForShowRequest() const
    {
        for (int i = 0; i < 300 && g_showRequests == 0 && !m_failed; ++i)
            Sleep(10);
        return g_showRequests > 0;
    }
    bool waitForWindow() const
    {
        for (int i = 0; i < 300 && m_window == nullptr && !m_failed; ++i)
            Sleep(10);
        return m_window != nullptr;
    }

private:
    void run(DWORD delayMs)
    {
        SetThreadDesktop(g_desktop);
        Sleep(delayMs);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &windowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = m_className.c_str();
        const ATOM atom = RegisterClassW(&windowClass);
        HWND window = CreateWindowExW(0, m_className.c_str(), L"first", WS_OVERLAPPEDWINDOW, 0, 0,
                                      100, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
        m_window = window;
        m_failed = window == nullptr;
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (!m_stop && g_showRequests == 0 && GetTickCount64() < deadline) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            Sleep(10);
        }
        if (window)
            DestroyWindow(window);
        if (atom)
            UnregisterClassW(m_className.c_str(), windowClass.hInstance);
    }

    std::wstring m_className;
    std::atomic<HWND> m_window{nullptr};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};

// ---- Handing over to the first start ----

struct HandOverCase
{
    const char *name;
    DWORD windowDelayMs;
};

class SingleInstanceHandOver : public SingleInstanceTest,
                               public testing::WithParamInterface<HandOverCase>
{
};

TEST_P(SingleInstanceHandOver, SecondStartPostsTheShowRequestToTheFirstsWindow)
{
    const std::string app = caseName();
    SingleInstance first(app);
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::Primary);
    EXPECT_TRUE(first.isPrimary());
    {
        FirstWindow window(app, GetParam().windowDelayMs);
        SingleInstance second(app);
        EXPECT_EQ(second.claim(), SingleInstance::Outcome::HandedOver);
        EXPECT_FALSE(second.isPrimary());
        ASSERT_TRUE(window.waitForWindow()) << "no window could be made";
        EXPECT_TRUE(window.waitForShowRequest());
        EXPECT_EQ(g_shownWindow, window.window());
    }
    EXPECT_EQ(g_showRequests, 1);
}

INSTANTIATE_TEST_SUITE_P(Windows, SingleInstanceHandOver,
                         testing::Values(HandOverCase{"window_already_there", 0},
                                         HandOverCase{"window_appears_later", 700}),
                         paramName<HandOverCase>);

// ---- No window to hand over to ----

struct NoWindowCase
{
    const char *name;
    bool windowOfAnotherName;
};

class SingleInstanceNoWindow : public SingleInstanceTest,
                               public testing::WithParamInterface<NoWindowCase>
{
};

TEST_P(SingleInstanceNoWindow, SecondStartWaitsThenSaysSo)
{
    const std::string app = caseName();
    SingleInstance first(app);
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::Primary);
    {
        std::unique_ptr<FirstWindow> other;
        if (GetParam().windowOfAnotherName) {
            other = std::make_unique<FirstWindow>(app + ".other", 0);
            ASSERT_TRUE(other->waitForWindow());
        }
        SingleInstance second(app);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(second.claim(400), SingleInstance::Outcome::NoWindow);
        EXPECT_GE(GetTickCount64() - start, 350u);
    }
    EXPECT_EQ(g_showRequests, 0);
    ASSERT_EQ(g_logLines.size(), 1u);
    EXPECT_EQ(g_logLines[0].rfind("app: ", 0), 0u) << g_logLines[0];
    EXPECT_NE(g_logLines[0].find(app + " is running already"), std::string::npos) << g_logLines[0];
}

INSTANTIATE_TEST_SUITE_P(Windows, SingleInstanceNoWindow,
                         testing::Values(NoWindowCase{"no_window_at_all", false},
                                         NoWindowCase{"window_of_another_name", true}),
                         paramName<NoWindowCase>);

// ---- When the first start is gone ----

TEST_F(SingleInstanceTest, AfterTheFirstEndsTheNextStartIsPrimary)
{
    const std::string app = caseName();
    auto first = std::make_unique<SingleInstance>(app);
    ASSERT_EQ(first->claim(), SingleInstance::Outcome::Primary);
    // A start that handed over holds nothing either.
    SingleInstance second(app);
    EXPECT_EQ(second.claim(50), SingleInstance::Outcome::NoWindow);
    first.reset();
    SingleInstance third(app);
    EXPECT_EQ(third.claim(50), SingleInstance::Outcome::Primary);
}

TEST_F(SingleInstanceTest, NamesDifferingInCaseAreOneProgram)
{
    const std::string app = caseName();
    SingleInstance first(app + ".Tavrin");
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::Primary);
    SingleInstance second(app + ".TAVRIN");
    EXPECT_EQ(second.claim(50), SingleInstance::Outcome::NoWindow);
}

// The system closes a killed process's handles: its mutex blocks nothing.
TEST_F(SingleInstanceTest, KilledFirstStartLeavesNothingThatBlocks)
{
    const std::string app = caseName();
    const std::string readyEvent = "TavrinTest.ready." + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyEvent.c_str());
    ASSERT_NE(ready, nullptr);

    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --hold-instance " +
                               std::wstring(app.begin(), app.end()) + L" " +
                               std::wstring(readyEvent.begin(), readyEvent.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child));
    CloseHandle(child.hThread);
    const DWORD waited = WaitForSingleObject(ready, 20000);
    CloseHandle(ready);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 1);
        CloseHandle(child.hProcess);
        FAIL() << "the child did not claim the name";
    }

    SingleInstance whileHeld(app);
    EXPECT_EQ(whileHeld.claim(50), SingleInstance::Outcome::NoWindow);

    ASSERT_TRUE(TerminateProcess(child.hProcess, 9));
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    EXPECT_EQ(exitCode, 9u) << "killed, not ended on its own";

    SingleInstance afterKill(app);
    EXPECT_EQ(afterKill.claim(50), SingleInstance::Outcome::Primary);
}

// ---- Object names ----

struct NameCase
{
    const char *name;
    std::string applicationName;
};

class SingleInstanceNames : public testing::TestWithParam<NameCase>
{
};

TEST_P(SingleInstanceNames, AreUsableObjectNames)
{
    const std::string &app = GetParam().applicationName;
    const std::wstring mutex = SingleInstance::mutexName(app);
    const std::wstring windowClass = SingleInstance::windowClassName(app);
    ASSERT_EQ(mutex.rfind(L"Local\\", 0), 0u);
    EXPECT_EQ(mutex.find(L'\\', 6), std::wstring::npos);
    EXPECT_EQ(windowClass.find(L'\\'), std::wstring::npos);
    EXPECT_LT(mutex.size(), size_t(MAX_PATH));
    EXPECT_LT(windowClass.size(), 256u);
    EXPECT_EQ(SingleInstance::mutexName(app), mutex) << "the same every time";

    SingleInstance instance(app);
    EXPECT_EQ(instance.claim(), SingleInstance::Outcome::Primary);
}

const std::string kLong(300, 'x');

const std::vector<NameCase> kNames = {
    {"plain", "tavrin-connector"},          {"spaces", "Tavrin Connector"},
    {"backslashes", "Tavrin\\Test\\Names"}, {"escaped_looking", "Tavrin_005cTest_005cNames"},
    {"underscore", "Tavrin_Test_Names"},    {"german", u8"Größenprüfer"},
    {"cyrillic_and_cjk", u8"Ключ 鍵"},      {"long", kLong},
    {"long_other_end", kLong + "y"},        {"long_backslashes", std::string(300, '\\')},
};

INSTANTIATE_TEST_SUITE_P(Applications, SingleInstanceNames, testing::ValuesIn(kNames),
                         paramName<NameCase>);

TEST(SingleInstanceNameSet, DifferentNamesGiveDifferentObjects)
{
    std::set<std::wstring> mutexes;
    std::set<std::wstring> classes;
    for (const NameCase &row : kNames) {
        EXPECT_TRUE(mutexes.insert(SingleInstance::mutexName(row.applicationName)).second)
            << row.name;
        EXPECT_TRUE(classes.insert(SingleInstance::windowClassName(row.applicationName)).second)
            << row.name;
    }
    EXPECT_EQ(SingleInstance::windowClassName("Tavrin"), SingleInstance::windowClassName("TAVRIN"));
    EXPECT_NE(SingleInstance::showRequestMessage(), 0u);
    EXPECT_EQ(SingleInstance::showRequestMessage(), SingleInstance::showRequestMessage());
}

// The child of KilledFirstStartLeavesNothingThatBlocks: claims the name, says
// so and waits to be killed.
int holdInstance(const std::string &applicationName, const std::string &readyEvent)
{
    SingleInstance instance(applicationName);
    if (instance.claim() != SingleInstance::Outcome::Primary)
        return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent.c_str());
    if (ready == nullptr)
        return 3;
    SetEvent(ready);
    CloseHandle(ready);
    Sleep(60000);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == kHoldFlag)
        return holdInstance(argv[2], argv[3]);
    testing::InitGoogleTest(&argc, argv);
    const std::wstring desktop = L"TavrinTest." + std::to_wstring(GetCurrentProcessId());
    g_desktop = CreateDesktopW(desktop.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (g_desktop == nullptr || !SetThreadDesktop(g_desktop)) {
        std::fprintf(stderr, "cannot make a desktop for the test (error %lu)\n", GetLastError());
        return 1;
    }
    const int status = RUN_ALL_TESTS();
    return status;
}
