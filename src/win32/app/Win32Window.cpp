#include "win32/app/Win32Window.h"

#include "app/SpinStep.h"
#include "app/WindowLayout.h"
#include "win32/WideText.h"
#include "win32/app/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

namespace {
constexpr int SpinMinimum = 1;
constexpr int SpinMaximum = 60;

std::wstring wide(std::string_view text)
{
    return WideText::fromUtf8(text);
}

std::string windowText(HWND hwnd)
{
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return {};
    std::wstring text(std::size_t(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(std::size_t(std::max(0, copied)));
    return WideText::toUtf8(text);
}

// An edit control breaks lines only at CR LF.
std::wstring editText(const std::string &text)
{
    std::wstring out;
    for (const wchar_t c : wide(text)) {
        if (c == L'\n')
            out += L'\r';
        if (c != L'\r')
            out += c;
    }
    return out;
}

HFONT messageFont()
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        if (HFONT font = CreateFontIndirectW(&metrics.lfMessageFont))
            return font;
    }
    return nullptr;
}

// Twips per pixel for the layout: the table's scale for the font the controls
// show their texts in, like dialog units.
double layoutScaleFor(HFONT font)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ before = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    static const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SIZE extent{};
    TEXTMETRICW metrics{};
    const bool measured =
        GetTextExtentPoint32W(dc, letters, 52, &extent) && GetTextMetricsW(dc, &metrics);
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    if (!measured)
        return WindowLayout::ReferenceTwipsPerPixel;
    return WindowLayout::twipsPerPixel(extent.cx / 52.0, double(metrics.tmHeight));
}

HICON loadPicture(HINSTANCE instance, int id, int sizeMetricX, int sizeMetricY)
{
    return HICON(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON,
                            GetSystemMetrics(sizeMetricX), GetSystemMetrics(sizeMetricY), 0));
}

// Gives the quit question's buttons German texts whatever language the
// system's message boxes speak.
HHOOK quitBoxHook = nullptr;
LRESULT CALLBACK renameQuitButtons(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        const HWND box = HWND(wParam);
        SetDlgItemTextW(box, IDOK, L"OK");
        SetDlgItemTextW(box, IDCANCEL, L"Abbrechen");
        const HHOOK hook = quitBoxHook;
        quitBoxHook = nullptr;
        const LRESULT next = CallNextHookEx(hook, code, wParam, lParam);
        UnhookWindowsHookEx(hook);
        return next;
    }
    return CallNextHookEx(quitBoxHook, code, wParam, lParam);
}

std::uint32_t handleNumber(const void *handle)
{
    // Window and icon handles are 32-bit values also in 64-bit processes.
    return std::uint32_t(reinterpret_cast<std::uintptr_t>(handle));
}
} // namespace

Win32Window::Win32Window(HINSTANCE instance, const std::wstring &className, UINT showRequestMessage)
    : m_instance(instance), m_className(className), m_showRequestMessage(showRequestMessage),
      m_taskbarCreatedMessage(RegisterWindowMessageW(L"TaskbarCreated"))
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    m_bigIcons = {loadPicture(instance, IDI_PICTURE_A, SM_CXICON, SM_CYICON),
                  loadPicture(instance, IDI_PICTURE_B, SM_CXICON, SM_CYICON)};
    m_smallIcons = {loadPicture(instance, IDI_PICTURE_A, SM_CXSMICON, SM_CYSMICON),
                    loadPicture(instance, IDI_PICTURE_B, SM_CXSMICON, SM_CYSMICON)};

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Window::windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = m_bigIcons[0];
    windowClass.hIconSm = m_smallIcons[0];
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = m_className.c_str();
    RegisterClassExW(&windowClass);

    m_font = messageFont();
    m_layoutScale = layoutScaleFor(m_font);
    const WindowLayout::PixelRect client = WindowLayout::windowToPixels(m_layoutScale);
    RECT frame{0, 0, client.width, client.height};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    CreateWindowExW(0, m_className.c_str(), wide(WindowLayout::Caption).c_str(),
                    WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                    frame.bottom - frame.top, nullptr, nullptr, instance, this);
    buildControls();
    m_shownIcon = m_bigIcons[0];

    // The only menu is never a bar; the tray opens it as a pop-up.
    m_menu = CreatePopupMenu();
    AppendMenuW(m_menu, MF_STRING, MenuOptionen, L"Optionen...");
    AppendMenuW(m_menu, MF_STRING, MenuBeenden, L"Beenden");

    // Enabled from creation, as the timer always was; start-up sets its period.
    m_ticking = true;
    armTimer(m_tickMs);
}

Win32Window::~Win32Window()
{
    if (m_hwnd) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    if (m_menu)
        DestroyMenu(m_menu);
    if (m_font)
        DeleteObject(m_font);
    for (HICON icon : m_bigIcons)
        DestroyIcon(icon);
    for (HICON icon : m_smallIcons)
        DestroyIcon(icon);
    UnregisterClassW(m_className.c_str(), m_instance);
}

void Win32Window::buildControls()
{
    const auto make = [this](const char *name, const wchar_t *windowClass, DWORD style,
                             DWORD exStyle, int id) {
        const ControlLayout &c = WindowLayout::control(name);
        const WindowLayout::PixelRect r = WindowLayout::toPixels(c, m_layoutScale);
        HWND control = CreateWindowExW(exStyle, windowClass, wide(c.text).c_str(),
                                       WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.width,
                                       r.height, m_hwnd, HMENU(INT_PTR(id)), m_instance, nullptr);
        SendMessageW(control, WM_SETFONT,
                     WPARAM(m_font ? m_font : GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        return control;
    };
    // Made in the focus order the table numbers, since Tab follows the order of making.
    make("WebBrowser1", L"EDIT",
         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE,
         IdAnswer);
    for (const int index : {0, 1}) {
        if (index == 1) {
            make("txtTimer", L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, IdTimer);
            HWND arrows =
                make("UpDown1", UPDOWN_CLASSW, UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, IdUpDown);
            SendMessageW(arrows, UDM_SETBUDDY, WPARAM(GetDlgItem(m_hwnd, IdTimer)), 0);
            // Binding may give the arrows the system's width; the table's stays.
            const WindowLayout::PixelRect r =
                WindowLayout::toPixels(WindowLayout::control("UpDown1"), m_layoutScale);
            SetWindowPos(arrows, nullptr, r.left, r.top, r.width, r.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageW(arrows, UDM_SETRANGE32, SpinMinimum, SpinMaximum);
            SendMessageW(arrows, UDM_SETPOS32, 0, m_spinValue);
            HWND ok = make("cmdKey", L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, IdOk);
            EnableWindow(ok, FALSE);
        }
        HWND key = make(index == 0 ? "txtKey0" : "txtKey1", L"EDIT",
                        WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE,
                        index == 0 ? IdKey0 : IdKey1);
        SendMessageW(key, EM_SETPASSWORDCHAR, WPARAM(L'*'), 0);
    }
    make("Label3", L"STATIC", SS_LEFT, 0, IdLabel3);
    make("Label1", L"STATIC", SS_LEFT, 0, IdLabel1);
    // The hidden picture holders.
    for (const int id : {IdImage1, IdImage2}) {
        HWND image = make(id == IdImage1 ? "Image1" : "Image2", L"STATIC", SS_ICON, 0, id);
        SendMessageW(image, STM_SETICON, WPARAM(m_bigIcons[id == IdImage1 ? 0 : 1]), 0);
        ShowWindow(image, SW_HIDE);
    }
}

HWND Win32Window::control(const char *name) const
{
    static const std::pair<const char *, int> ids[] = {
        {"Label3", IdLabel3}, {"txtTimer", IdTimer},     {"UpDown1", IdUpDown},
        {"Label1", IdLabel1}, {"txtKey0", IdKey0},       {"txtKey1", IdKey1},
        {"cmdKey", IdOk},     {"WebBrowser1", IdAnswer}, {"Image1", IdImage1},
        {"Image2", IdImage2},
    };
    for (const auto &[controlName, id] : ids) {
        if (std::string_view(controlName) == name)
            return GetDlgItem(m_hwnd, id);
    }
    return nullptr;
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self =
            static_cast<Win32Window *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(self));
    }
    auto *self = reinterpret_cast<Win32Window *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->handle(message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Window::call(const std::function<void()> &handler)
{
    if (handler)
        handler();
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        // One notification per click or arrow key; the WM_VSCROLL the arrows
        // also send comes twice per click and is left alone.
        const auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->idFrom == IdUpDown && header->code == UDN_DELTAPOS) {
            onArrows(reinterpret_cast<const NMUPDOWN *>(lParam)->iDelta);
            return TRUE;
        }
        break;
    }
    case WM_TIMER:
        if (wParam == Timer1Id && m_ticking)
            call(m_handlers.timerTicked);
        return 0;
    case WM_SIZE:
        // Minimising a window sends this twice; one resize is reported.
        if (!m_resizePending) {
            m_resizePending = true;
            PostMessageW(m_hwnd, ResizedMessage, 0, 0);
        }
        break;
    case ResizedMessage:
        m_resizePending = false;
        if (!m_ending)
            call(m_handlers.resized);
        return 0;
    case WM_MOUSEMOVE:
        // The tray icon's callback: the icon's number and the mouse message in
        // place of a pointer position. Real pointer movement is not a tray event.
        if (wParam == TrayIconId && HIWORD(lParam) == 0 && m_handlers.trayNotified)
            m_handlers.trayNotified(double(LOWORD(lParam)) * twipsPerPixel());
        return 0;
    case WM_ACTIVATE:
        // Like a dialog, the window gives the focus back where the user left it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd, focus))
                m_lastFocus = focus;
        } else if (m_lastFocus) {
            SetFocus(m_lastFocus);
        }
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC)
            call(m_handlers.systemResumed);
        return TRUE;
    case WM_CLOSE:
        call(m_handlers.closed);
        return 0;
    case WM_ENDSESSION:
        // Logging off or shutting down: the program ends as if the window were closed,
        // so no icon is left behind.
        if (wParam)
            call(m_handlers.closed);
        return 0;
    case WM_DESTROY:
        m_hwnd = nullptr;
        return 0;
    default:
        if (message == m_taskbarCreatedMessage && message != 0) {
            call(m_handlers.taskbarCreated);
            return 0;
        }
        if (message == m_showRequestMessage && message != 0) {
            call(m_handlers.showRequested);
            return 0;
        }
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

void Win32Window::onCommand(int id, int code)
{
    switch (id) {
    case IdTimer:
        if (code == EN_CHANGE)
            call(m_handlers.intervalEdited);
        break;
    case IdKey0:
    case IdKey1:
        if (code == EN_CHANGE && m_handlers.keyEdited)
            m_handlers.keyEdited(id == IdKey0 ? 0 : 1);
        break;
    case IdOk:
        if (code == BN_CLICKED)
            call(m_handlers.okClicked);
        break;
    case IDOK: {
        // Enter, as the dialog keys report it: pressed in a key box, it is that box's.
        const HWND focus = GetFocus();
        const int index = focus == GetDlgItem(m_hwnd, IdKey0)   ? 0
                          : focus == GetDlgItem(m_hwnd, IdKey1) ? 1
                                                                : -1;
        if (index >= 0 && m_handlers.keyEnterPressed)
            m_handlers.keyEnterPressed(index);
        break;
    }
    case MenuOptionen:
        call(m_handlers.optionenChosen);
        break;
    case MenuBeenden:
        call(m_handlers.beendenChosen);
        break;
    default:
        break;
    }
}

void Win32Window::onArrows(int delta)
{
    const std::string text = intervalText();
    const int next = SpinStep::stepped(text, m_spinValue, delta, SpinMinimum, SpinMaximum);
    const bool changed = next != m_spinValue;
    m_spinValue = next;
    SendMessageW(GetDlgItem(m_hwnd, IdUpDown), UDM_SETPOS32, 0, next);
    const std::string nextText = std::to_string(next);
    if (text != nextText)
        SetWindowTextW(GetDlgItem(m_hwnd, IdTimer), wide(nextText).c_str());
    if (changed)
        call(m_handlers.arrowsClicked);
}

bool Win32Window::handleDialogKeys(MSG &message)
{
    if (!m_hwnd || message.message < WM_KEYFIRST || message.message > WM_KEYLAST)
        return false;
    return IsDialogMessageW(m_hwnd, &message);
}

void Win32Window::showAnswer(const std::string &text)
{
    m_page = text;
    showAnswerArea();
}

void Win32Window::setStatusText(const std::string &text)
{
    m_statusText = text;
    showAnswerArea();
}

void Win32Window::showAnswerArea()
{
    const std::string &text = m_statusText.empty() ? m_page : m_statusText;
    SetWindowTextW(GetDlgItem(m_hwnd, IdAnswer), editText(text).c_str());
}

void Win32Window::setCaption(const std::string &caption)
{
    SetWindowTextW(m_hwnd, wide(caption).c_str());
}

void Win32Window::setPicture(Picture picture)
{
    const std::size_t which = picture == Picture::Working ? 0 : 1;
    if (m_bigIcons[which] == m_shownIcon)
        return;
    m_shownIcon = m_bigIcons[which];
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, LPARAM(m_bigIcons[which]));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, LPARAM(m_smallIcons[which]));
}

std::uint32_t Win32Window::pictureHandle(Picture picture) const
{
    return handleNumber(m_bigIcons[picture == Picture::Working ? 0 : 1]);
}

std::uint32_t Win32Window::windowHandle() const
{
    return handleNumber(m_hwnd);
}

double Win32Window::twipsPerPixel() const
{
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? 1440.0 / dpi : WindowLayout::ReferenceTwipsPerPixel;
}

bool Win32Window::isMinimised() const
{
    return m_minimisedAtStart || IsIconic(m_hwnd);
}

bool Win32Window::isShown() const
{
    return IsWindowVisible(m_hwnd);
}

void Win32Window::minimiseAtStart()
{
    // The never-shown window stays unshown: minimising it through the system
    // would put it on the taskbar for a moment.
    m_minimisedAtStart = true;
    call(m_handlers.resized);
}

void Win32Window::hide()
{
    ShowWindow(m_hwnd, SW_HIDE);
}

void Win32Window::restore()
{
    m_minimisedAtStart = false;
    // Normal also for a window that was maximised before it went to the tray.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(m_hwnd, &placement);
    placement.flags &= ~UINT(WPF_RESTORETOMAXIMIZED);
    placement.showCmd = SW_SHOWNORMAL;
    SetWindowPlacement(m_hwnd, &placement);
    if (!m_shownBefore) {
        // The first box the user types in; left to itself the window would
        // focus nothing, and the system the first control, the answer area.
        m_shownBefore = true;
        m_lastFocus = GetDlgItem(m_hwnd, IdKey0);
        SetFocus(m_lastFocus);
    }
}

void Win32Window::bringToFront()
{
    SetForegroundWindow(m_hwnd);
    BringWindowToTop(m_hwnd);
}

std::string Win32Window::intervalText()
{
    return windowText(GetDlgItem(m_hwnd, IdTimer));
}

void Win32Window::setIntervalText(const std::string &text)
{
    // Like typing, only a different text is a change.
    if (text != intervalText())
        SetWindowTextW(GetDlgItem(m_hwnd, IdTimer), wide(text).c_str());
}

std::string Win32Window::keyText(int index)
{
    return windowText(GetDlgItem(m_hwnd, index == 0 ? IdKey0 : IdKey1));
}

void Win32Window::setOkEnabled(bool enabled)
{
    EnableWindow(GetDlgItem(m_hwnd, IdOk), enabled);
}

void Win32Window::popUpMenu()
{
    POINT at{};
    GetCursorPos(&at);
    // A pop-up of a window that is not in the foreground takes no keys and does
    // not close when the user clicks elsewhere; the null message afterwards lets
    // the foreground change take effect.
    SetForegroundWindow(m_hwnd);
    m_menuShown = true;
    TrackPopupMenu(m_menu, 0, at.x, at.y, 0, m_hwnd, nullptr);
    m_menuShown = false;
    PostMessageW(m_hwnd, WM_NULL, 0, 0);
}

bool Win32Window::askQuitQuestion()
{
    if (m_confirmQuit)
        return m_confirmQuit();
    quitBoxHook = SetWindowsHookExW(WH_CBT, renameQuitButtons, nullptr, GetCurrentThreadId());
    // No owner: the box is centred on the screen, not on the hidden window.
    const int answer = MessageBoxW(nullptr, L"Möchten Sie den Dienst wirklich beenden?",
                                   L"Tavrin Connector beenden...",
                                   MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL | MB_SETFOREGROUND);
    if (quitBoxHook) {
        UnhookWindowsHookEx(quitBoxHook);
        quitBoxHook = nullptr;
    }
    return answer == IDOK;
}

void Win32Window::endProgram()
{
    // The loop ends at its next message; the window goes with the application.
    m_ending = true;
    stopTicking();
    ShowWindow(m_hwnd, SW_HIDE);
    PostQuitMessage(0);
}

void Win32Window::armTimer(std::int64_t ms)
{
    const auto period = UINT(std::clamp<std::int64_t>(ms, USER_TIMER_MINIMUM, INT_MAX));
    SetTimer(m_hwnd, Timer1Id, period, nullptr);
}

void Win32Window::setTickIntervalMs(std::int64_t ms)
{
    m_tickMs = ms;
    if (m_ticking)
        armTimer(ms);
}

void Win32Window::startTicking(std::int64_t firstMs)
{
    m_tickMs = firstMs;
    m_ticking = true;
    armTimer(firstMs);
}

void Win32Window::stopTicking()
{
    m_ticking = false;
    KillTimer(m_hwnd, Timer1Id);
}

void Win32Window::runPendingEvents()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the main loop, which ends on it.
            PostQuitMessage(int(message.wParam));
            return;
        }
        if (!handleDialogKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
