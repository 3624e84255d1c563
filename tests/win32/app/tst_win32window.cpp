// The Windows window through the application's wiring, on a real desktop under
// Wine: its layout, its controls' messages as the presenter sees them, the tray
// callback and the ways out.
#include "FakeEngineParts.h"
#include "LoopbackServer.h"
#include "MemorySettingsStore.h"
#include "ParamName.h"

#include "app/WindowLayout.h"
#include "app/frmTavrin.h"
#include "update/UpdateUrl.h"
#include "win32/WideText.h"
#include "win32/app/Win32Application.h"
#include "win32/app/Win32Window.h"
#include "win32/tray/ShellTrayIcon.h"
#include "win32/update/WinInetRequestChannel.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string text(HWND hwnd)
{
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return WideText::toUtf8(buffer);
}

// Runs what is pending, as the message loop would.
void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool quitPosted()
{
    MSG message;
    return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

struct Fixture
{
    explicit Fixture(std::vector<std::string> arguments = {}, const std::string &url = "")
    {
        if (!url.empty())
            settings.values[{"settings", "TavrinKey"}] = url;
        app = std::make_unique<Win32Application>(GetModuleHandleW(nullptr), settings, channel,
                                                 trayIcon, "tavrin-window-test", arguments);
        app->start();
        pump();
    }
    ~Fixture()
    {
        app.reset();
        // A quit message left by a case must not reach the next one.
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    Win32Window &window() { return app->window(); }
    HWND hwnd() { return window().hwnd(); }
    HWND control(const char *name) { return window().control(name); }
    std::string stored(const char *name) { return settings.read("settings", name, "(none)"); }
    void trayMessage(int number)
    {
        SendMessageW(hwnd(), Win32Window::TrayCallbackMessage, Win32Window::TrayIconId,
                     LPARAM(number));
        pump();
    }

    MemorySettingsStore settings;
    DrivenClock clock;
    FakeRequestChannel channel{clock};
    ShellTrayIcon trayIcon;
    std::unique_ptr<Win32Application> app;
};

struct Placed
{
    const char *name;
};

class Layout : public testing::TestWithParam<std::tuple<Placed, UINT>>
{
};

// Every control sits where the table puts it at the window's scale, as built
// (0) and after the window moved to a screen of that many dots per inch.
TEST_P(Layout, ControlAtItsTablePlace)
{
    Fixture f;
    const auto [placed, dpi] = GetParam();
    if (dpi) {
        HDC screen = GetDC(nullptr);
        const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        const double before = f.window().layoutScale();
        RECT suggested{40, 30, 40 + 700, 30 + 300};
        SendMessageW(f.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), LPARAM(&suggested));
        RECT now{};
        GetWindowRect(f.hwnd(), &now);
        EXPECT_EQ(now.right - now.left, 700);
        EXPECT_EQ(now.bottom - now.top, 300);
        // The font follows the density, and the layout the font.
        EXPECT_NEAR(f.window().layoutScale() * dpi, before * systemDpi, before * systemDpi * 0.1);
    }
    const ControlLayout &c = WindowLayout::control(placed.name);
    const WindowLayout::PixelRect expected = WindowLayout::toPixels(c, f.window().layoutScale());
    HWND control = f.control(placed.name);
    ASSERT_NE(control, nullptr);
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, f.hwnd(), reinterpret_cast<POINT *>(&r), 2);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right - r.left, expected.width);
    EXPECT_EQ(r.bottom - r.top, expected.height);
}

INSTANTIATE_TEST_SUITE_P(Controls, Layout,
                         testing::Combine(testing::Values(Placed{"Label3"}, Placed{"txtTimer"},
                                                          Placed{"UpDown1"}, Placed{"Label1"},
                                                          Placed{"txtKey0"}, Placed{"txtKey1"},
                                                          Placed{"cmdKey"}, Placed{"WebBrowser1"}),
                                          testing::Values(UINT(0), UINT(144), UINT(192))),
                         [](const testing::TestParamInfo<std::tuple<Placed, UINT>> &info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

struct Shown
{
    const char *name;
    const char *text;
};

class TextsFit : public testing::TestWithParam<Shown>
{
};

// The scale follows the font: each text fits its control's client area.
TEST_P(TextsFit, TextFitsItsControl)
{
    Fixture f;
    HWND control = f.control(GetParam().name);
    const std::wstring wide = WideText::fromUtf8(GetParam().text);
    HDC dc = GetDC(control);
    HGDIOBJ before = SelectObject(dc, HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.c_str(), int(wide.size()), &extent);
    SelectObject(dc, before);
    ReleaseDC(control, dc);
    RECT client{};
    GetClientRect(control, &client);
    EXPECT_LE(extent.cx, client.right) << GetParam().text;
    EXPECT_LE(extent.cy, client.bottom) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, TextsFit,
                         testing::Values(Shown{"Label3", "Sync-Intervall:"},
                                         Shown{"Label1", "Schlüssel:"}, Shown{"cmdKey", "OK"},
                                         Shown{"txtTimer", "0.05"}),
                         paramName<Shown>);

TEST(Win32Window, FirstStartWithoutKeyShowsTheWindowFocusedOnTheFirstKeyBox)
{
    Fixture f;
    EXPECT_TRUE(IsWindowVisible(f.hwnd()));
    EXPECT_FALSE(f.trayIcon.iconShown());
    EXPECT_EQ(GetFocus(), f.control("txtKey0"));
    EXPECT_EQ(text(f.control("txtTimer")), "5");
    EXPECT_EQ(f.stored("TavrinTime"), "5");
}

TEST(Win32Window, StartWithKeyGoesToTheTray)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    EXPECT_FALSE(IsWindowVisible(f.hwnd()));
    EXPECT_TRUE(f.trayIcon.iconShown());
    ASSERT_EQ(f.channel.urls.size(), 1u);
}

TEST(Win32Window, MinimisingOnceAddsTheIconOnce)
{
    Fixture f;
    const int savesBefore = f.settings.saves;
    // The platform reports a minimise twice; the window goes to the tray once.
    SendMessageW(f.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageW(f.hwnd(), WM_SIZE, SIZE_MINIMIZED, 0);
    pump();
    EXPECT_FALSE(IsWindowVisible(f.hwnd()));
    EXPECT_TRUE(f.trayIcon.iconShown());
    EXPECT_EQ(f.settings.saves, savesBefore);
    // Back through the pop-up's first entry.
    SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(200, 0), 0);
    pump();
    EXPECT_TRUE(IsWindowVisible(f.hwnd()));
    EXPECT_FALSE(IsIconic(f.hwnd()));
    EXPECT_FALSE(f.trayIcon.iconShown());
}

struct Arrow
{
    const char *name;
    std::string before;
    int delta;
    std::string after;
    int saves; // the box's change and the arrows' own change save once each
};

class Arrows : public testing::TestWithParam<Arrow>
{
};

// One click on the arrows is one change and one save, however many
// scroll messages the control sends with it.
TEST_P(Arrows, OneClickOneStep)
{
    Fixture f;
    HWND box = f.control("txtTimer");
    SetWindowTextW(box, WideText::fromUtf8(GetParam().before).c_str());
    pump();
    const int savesBefore = f.settings.saves;
    NMUPDOWN step{};
    step.hdr.hwndFrom = f.control("UpDown1");
    step.hdr.idFrom = UINT_PTR(GetDlgCtrlID(step.hdr.hwndFrom));
    step.hdr.code = UDN_DELTAPOS;
    step.iDelta = GetParam().delta;
    SendMessageW(f.hwnd(), WM_NOTIFY, step.hdr.idFrom, LPARAM(&step));
    SendMessageW(f.hwnd(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 6), LPARAM(step.hdr.hwndFrom));
    SendMessageW(f.hwnd(), WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 6), LPARAM(step.hdr.hwndFrom));
    pump();
    EXPECT_EQ(text(box), GetParam().after);
    EXPECT_EQ(f.stored("TavrinTime"), GetParam().after);
    EXPECT_EQ(f.settings.saves - savesBefore, GetParam().saves);
}

INSTANTIATE_TEST_SUITE_P(Clicks, Arrows,
                         testing::Values(Arrow{"up", "5", 1, "6", 2},
                                         Arrow{"down", "5", -1, "4", 2},
                                         Arrow{"topStaysBoxUnchanged", "60", 1, "60", 1},
                                         Arrow{"fromFraction", "1,5", 1, "2", 2}),
                         paramName<Arrow>);

TEST(Win32Window, OkOnlyForAConfirmedKeyAndEnterPressesIt)
{
    Fixture f;
    HWND ok = f.control("cmdKey");
    SetWindowTextW(f.control("txtKey0"), L"geheim");
    pump();
    EXPECT_FALSE(IsWindowEnabled(ok));
    SetWindowTextW(f.control("txtKey1"), L"geheiM");
    pump();
    EXPECT_FALSE(IsWindowEnabled(ok));
    SetWindowTextW(f.control("txtKey1"), L"geheim");
    pump();
    EXPECT_TRUE(IsWindowEnabled(ok));
    // Enter in the second key box, as the message loop hands it over.
    SetFocus(f.control("txtKey1"));
    MSG enter{f.control("txtKey1"), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(f.window().handleDialogKeys(enter));
    pump();
    const std::string url = UpdateUrl::compose(UpdateUrl::baseUrl(), "geheim");
    EXPECT_EQ(f.stored("TavrinKey"), url);
    ASSERT_FALSE(f.channel.urls.empty());
    EXPECT_EQ(f.channel.urls.back(), url);
}

TEST(Win32Window, KeyBoxesShowStars)
{
    Fixture f;
    for (const char *name : {"txtKey0", "txtKey1"})
        EXPECT_EQ(SendMessageW(f.control(name), EM_GETPASSWORDCHAR, 0, 0), L'*') << name;
}

// The focused controls in the table's focus order.
std::vector<std::string> focusOrder()
{
    std::vector<const ControlLayout *> focused;
    for (const ControlLayout &c : WindowLayout::controls()) {
        if (c.tabIndex >= 0)
            focused.push_back(&c);
    }
    std::sort(focused.begin(), focused.end(),
              [](const auto *a, const auto *b) { return a->tabIndex < b->tabIndex; });
    std::vector<std::string> names;
    for (const ControlLayout *c : focused)
        names.emplace_back(c->name);
    return names;
}

void pressKey(Fixture &f, WPARAM key, bool shift = false)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG down{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    if (!f.window().handleDialogKeys(down))
        DispatchMessageW(&down);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    pump();
}

class FocusCycle : public testing::TestWithParam<bool>
{
};

// Tab (Shift+Tab backwards) reaches every control and leaves it again, the
// read-only answer area too, twice round.
TEST_P(FocusCycle, VisitsEveryControlInTheTablesOrder)
{
    const bool backwards = GetParam();
    Fixture f;
    // Matching keys enable OK, the one control otherwise left out.
    SetWindowTextW(f.control("txtKey0"), L"geheim");
    SetWindowTextW(f.control("txtKey1"), L"geheim");
    pump();
    const std::vector<std::string> order = focusOrder();
    const int n = int(order.size());
    SetFocus(f.control(order[0].c_str()));
    for (int step = 1; step <= 2 * n; ++step) {
        pressKey(f, VK_TAB, backwards);
        const std::string &expected = order[std::size_t((backwards ? n - step % n : step) % n)];
        EXPECT_EQ(GetFocus(), f.control(expected.c_str())) << "step " << step << ": " << expected;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, FocusCycle, testing::Values(false, true),
                         [](const auto &info) { return info.param ? "shiftTab" : "tab"; });

class ArrowKeys : public testing::TestWithParam<const char *>
{
};

// Up and down step the interval in the box and on the arrows themselves.
TEST_P(ArrowKeys, StepTheInterval)
{
    Fixture f;
    SetFocus(f.control(GetParam()));
    pressKey(f, VK_UP);
    EXPECT_EQ(text(f.control("txtTimer")), "6");
    pressKey(f, VK_DOWN);
    pressKey(f, VK_DOWN);
    EXPECT_EQ(text(f.control("txtTimer")), "4");
    EXPECT_EQ(GetFocus(), f.control(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Controls, ArrowKeys, testing::Values("txtTimer", "UpDown1"));

TEST(Win32Window, EnterOnTheFocusedOkAppliesTheKey)
{
    Fixture f;
    SetWindowTextW(f.control("txtKey0"), L"geheim");
    SetWindowTextW(f.control("txtKey1"), L"geheim");
    pump();
    SetFocus(f.control("cmdKey"));
    pressKey(f, VK_RETURN);
    EXPECT_EQ(f.stored("TavrinKey"), UpdateUrl::compose(UpdateUrl::baseUrl(), "geheim"));
}

// The area shows the status the presenter composed above the service's answer.
TEST(Win32Window, AnswerAreaShowsTheStatusAboveTheAnswer)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    f.channel.finish({RequestOutcome::Failure::None, 200, "", 0, "good 203.0.113.7"});
    pump();
    const std::string shown = text(f.control("WebBrowser1"));
    EXPECT_EQ(shown.rfind("Zuletzt aktualisiert: heute ", 0), 0u) << shown;
    EXPECT_NE(shown.find("\r\nGemeldete Adresse: 203.0.113.7\r\n\r\ngood 203.0.113.7"),
              std::string::npos)
        << shown;
}

// End to end over the loopback: a service that answers "good 203.0.113.7",
// then refuses the key.
TEST(Win32Window, AnswerAreaTellsTheAddressThenTheRefusal)
{
    LoopbackServer server;
    ASSERT_TRUE(server.listen());
    server.setDefaultAnswer(LoopbackServer::reply(200, "good 203.0.113.7"));
    MemorySettingsStore settings;
    settings.values[{"settings", "TavrinKey"}] = server.url("/the-key");
    settings.values[{"settings", "TavrinTime"}] = "0.5";
    WinInetRequestChannel channel;
    ShellTrayIcon trayIcon;
    Win32Application app(GetModuleHandleW(nullptr), settings, channel, trayIcon,
                         "tavrin-status-test", {});
    // A sync every 0.3 s.
    app.setTimeScale(100);
    app.start();
    app.presenter().optionen_Click();
    const auto waitFor = [&](const std::string &part) {
        for (int i = 0; i < 500; ++i) {
            const std::string shown = text(app.window().control("WebBrowser1"));
            if (shown.find(part) != std::string::npos)
                return shown;
            pump();
            Sleep(20);
        }
        return text(app.window().control("WebBrowser1"));
    };
    std::string shown = waitFor("203.0.113.7");
    EXPECT_EQ(shown.rfind("Zuletzt aktualisiert: heute ", 0), 0u) << shown;
    EXPECT_NE(shown.find("\r\nGemeldete Adresse: 203.0.113.7\r\n"), std::string::npos) << shown;

    server.setDefaultAnswer(LoopbackServer::reply(200, "badauth"));
    shown = waitFor("badauth");
    EXPECT_EQ(shown.rfind("Aktualisierung fehlgeschlagen: heute ", 0), 0u) << shown;
    EXPECT_NE(shown.find("Grund: Vom Dienst abgelehnt („badauth“). Der Dienst hat den Schlüssel "
                         "nicht angenommen. Bitte den Schlüssel prüfen und neu eingeben.\r\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("\r\nZuletzt erfolgreich: heute "), std::string::npos) << shown;
    PostQuitMessage(0);
}

struct TrayCase
{
    const char *name;
    std::vector<std::string> arguments;
    int message;
    bool restores;
};

class TrayDoubleClick : public testing::TestWithParam<TrayCase>
{
};

// The icon's messages carry the mouse message.
TEST_P(TrayDoubleClick, RestoresOnlyWithTheSwitch)
{
    Fixture f(GetParam().arguments, "http://127.0.0.1:1/key");
    ASSERT_FALSE(IsWindowVisible(f.hwnd()));
    f.trayMessage(GetParam().message);
    EXPECT_EQ(bool(IsWindowVisible(f.hwnd())), GetParam().restores);
    EXPECT_EQ(f.trayIcon.iconShown(), !GetParam().restores);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, TrayDoubleClick,
    testing::Values(TrayCase{"doubleClickWithSwitch", {"/a"}, WM_LBUTTONDBLCLK, true},
                    TrayCase{"doubleClickWithCapitalSwitch", {"/A"}, WM_LBUTTONDBLCLK, true},
                    TrayCase{"doubleClickWithout", {}, WM_LBUTTONDBLCLK, false},
                    TrayCase{"doubleClickWithMore", {"/a", "x"}, WM_LBUTTONDBLCLK, false},
                    TrayCase{"leftPress", {"/a"}, WM_LBUTTONDOWN, false},
                    TrayCase{"rightRelease", {"/a"}, WM_RBUTTONUP, false},
                    TrayCase{"notificationClick", {}, NIN_BALLOONUSERCLICK, true}),
    paramName<TrayCase>);

// While the pop-up's loop runs: notes whether the window says the menu is
// shown, then closes it.
Win32Window *menuWindow = nullptr;
bool menuSeen = false;
void CALLBACK closeMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    menuSeen = menuWindow && menuWindow->menuShown();
    EndMenu();
}

class PopUp : public testing::TestWithParam<int>
{
};

// A right press, and the icon chosen from the keyboard (menu key, Enter).
TEST_P(PopUp, OpensFromTheIcon)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    menuWindow = &f.window();
    menuSeen = false;
    SetTimer(nullptr, 0, 200, closeMenu);
    f.trayMessage(GetParam());
    EXPECT_TRUE(menuSeen);
    EXPECT_FALSE(f.window().menuShown());
    EXPECT_FALSE(IsWindowVisible(f.hwnd()));
    menuWindow = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Messages, PopUp,
                         testing::Values(WM_RBUTTONDOWN, WM_CONTEXTMENU, NIN_KEYSELECT));

// The pointer moved over the shown window with the right button held, at the
// x a right press on the icon carries: no tray action.
TEST(Win32Window, PointerMovesNeverActAsTheIcon)
{
    Fixture f;
    ASSERT_TRUE(IsWindowVisible(f.hwnd()));
    menuWindow = &f.window();
    menuSeen = false;
    const UINT_PTR guard = SetTimer(nullptr, 0, 200, closeMenu);
    SendMessageW(f.hwnd(), WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(WM_RBUTTONDOWN, 0));
    pump();
    KillTimer(nullptr, guard);
    EXPECT_FALSE(menuSeen);
    EXPECT_TRUE(IsWindowVisible(f.hwnd()));
    menuWindow = nullptr;
}

TEST(Win32Window, QuitAnsweredWithCancelKeepsRunning)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    f.window().setQuitConfirmation([] { return false; });
    SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(201, 0), 0);
    pump();
    EXPECT_FALSE(quitPosted());
    EXPECT_TRUE(f.trayIcon.iconShown());
}

TEST(Win32Window, QuitAnsweredWithOkEndsWithTheIconGone)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    f.window().setQuitConfirmation([] { return true; });
    SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(201, 0), 0);
    EXPECT_TRUE(quitPosted());
    EXPECT_FALSE(f.trayIcon.iconShown());
}

// Closing the window, and the end of the session, end the program without a
// question and with the icon gone.
class Closing : public testing::TestWithParam<UINT>
{
};

TEST_P(Closing, EndsWithoutAQuestion)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    bool asked = false;
    f.window().setQuitConfirmation([&asked] { return asked = true; });
    SendMessageW(f.hwnd(), GetParam(), GetParam() == WM_ENDSESSION ? TRUE : 0, 0);
    EXPECT_TRUE(quitPosted());
    EXPECT_FALSE(asked);
    EXPECT_FALSE(f.trayIcon.iconShown());
}

INSTANTIATE_TEST_SUITE_P(Messages, Closing, testing::Values(UINT(WM_CLOSE), UINT(WM_ENDSESSION)));

// Reads the quit question's buttons, then answers it with Cancel.
std::wstring seenButtons;
void CALLBACK readQuitBox(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND box = FindWindowW(L"#32770", L"Tavrin Connector beenden...");
    if (!box)
        return;
    KillTimer(nullptr, id);
    wchar_t ok[32] = {}, cancel[32] = {};
    GetDlgItemTextW(box, IDOK, ok, 32);
    GetDlgItemTextW(box, IDCANCEL, cancel, 32);
    seenButtons = std::wstring(ok) + L"|" + cancel;
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

TEST(Win32Window, QuitQuestionSpeaksGerman)
{
    Fixture f({}, "http://127.0.0.1:1/key");
    seenButtons.clear();
    SetTimer(nullptr, 0, 50, readQuitBox);
    EXPECT_FALSE(f.window().askQuitQuestion());
    EXPECT_EQ(WideText::toUtf8(seenButtons), "OK|Abbrechen");
}

} // namespace
