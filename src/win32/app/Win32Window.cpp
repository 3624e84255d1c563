#include "win32/app/Win32Window.h"

#include "app/SpinStep.h"
#include "app/WindowLayout.h"
#include "base/CoreLog.h"
#include "tray/MouseMessage.h"
#include "win32/WideText.h"
#include "win32/app/resource.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <vector>

#ifndef EVENT_OBJECT_LIVEREGIONCHANGED
#define EVENT_OBJECT_LIVEREGIONCHANGED 0x8019
#endif

namespace {
constexpr int SpinMinimum = 1;
constexpr int SpinMaximum = 60;
// A control whose changes a screen reader reads out (Windows 8 and later); the
// headers for the Windows version built for leave it out.
constexpr GUID LiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr long LivePolite = 1;

enum ControlId : int
{
    IdLabel3 = 100,
    IdTimer,
    IdUpDown,
    IdLabel1,
    IdKey0,
    IdKey1,
    IdOk,
    IdAnswer,
    IdImage1,
    IdImage2,
};
struct ControlKind
{
    const char *name;
    const wchar_t *windowClass;
    DWORD style;
    DWORD exStyle;
    int id;
};
const ControlKind *kindOf(std::string_view name)
{
    // Every control in the focus order takes Tab; the labels do not.
    constexpr DWORD editStyle = WS_TABSTOP | ES_AUTOHSCROLL;
    static const ControlKind kinds[] = {
        {"Label3", L"STATIC", SS_LEFT, 0, IdLabel3},
        {"txtTimer", L"EDIT", editStyle, WS_EX_CLIENTEDGE, IdTimer},
        {"UpDown1", UPDOWN_CLASSW, WS_TABSTOP | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, IdUpDown},
        {"Label1", L"STATIC", SS_LEFT, 0, IdLabel1},
        {"txtKey0", L"EDIT", editStyle | ES_PASSWORD, WS_EX_CLIENTEDGE, IdKey0},
        {"txtKey1", L"EDIT", editStyle | ES_PASSWORD, WS_EX_CLIENTEDGE, IdKey1},
        {"cmdKey", L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, IdOk},
        {"WebBrowser1", L"EDIT",
         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE,
         IdAnswer},
        {"Image1", L"STATIC", SS_ICON, 0, IdImage1},
        {"Image2", L"STATIC", SS_ICON, 0, IdImage2},
    };
    for (const ControlKind &kind : kinds) {
        if (name == kind.name)
            return &kind;
    }
    return nullptr;
}

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

// Dots per inch the system draws at; per-monitor awareness asks for other
// values when the window moves.
UINT systemDpi()
{
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? UINT(dpi) : 96;
}

// The system's message font, sized for that DPI.
HFONT messageFont(UINT dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        LOGFONTW &font = metrics.lfMessageFont;
        font.lfHeight = MulDiv(font.lfHeight, int(dpi), int(systemDpi()));
        if (HFONT made = CreateFontIndirectW(&font))
            return made;
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
    for (const int id : {IDI_PICTURE_A, IDI_PICTURE_B}) {
        m_bigIcons[id - IDI_PICTURE_A] = loadPicture(instance, id, SM_CXICON, SM_CYICON);
        m_smallIcons[id - IDI_PICTURE_A] = loadPicture(instance, id, SM_CXSMICON, SM_CYSMICON);
    }

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

    m_font = messageFont(systemDpi());
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
    startTicking(m_tickMs);
}

Win32Window::~Win32Window()
{
    if (m_hwnd) {
        forgetDescriptions();
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    if (m_menu)
        DestroyMenu(m_menu);
    if (m_font)
        DeleteObject(m_font);
    for (std::size_t i = 0; i < 2; ++i) {
        DestroyIcon(m_bigIcons[i]);
        DestroyIcon(m_smallIcons[i]);
    }
    UnregisterClassW(m_className.c_str(), m_instance);
}

namespace {
// Tab follows the order of making, and a screen reader names a control by the
// label made just before it: each focused control in the table's focus order,
// its label first, then the rest.
std::vector<std::string_view> makingOrder()
{
    std::vector<const ControlLayout *> focused;
    for (const ControlLayout &c : WindowLayout::controls()) {
        if (c.tabIndex >= 0)
            focused.push_back(&c);
    }
    std::sort(focused.begin(), focused.end(), [](const ControlLayout *a, const ControlLayout *b) {
        return a->tabIndex < b->tabIndex;
    });
    std::vector<std::string_view> order;
    for (const ControlLayout *c : focused) {
        if (!c->labelledBy.empty())
            order.push_back(c->labelledBy);
        order.push_back(c->name);
    }
    for (const ControlLayout &c : WindowLayout::controls()) {
        if (std::find(order.begin(), order.end(), c.name) == order.end())
            order.push_back(c.name);
    }
    return order;
}

// A read-only multi-line edit takes every key, Tab too, so the focus could never
// leave it; it keeps only what scrolling and selecting need.
LRESULT CALLBACK answerAreaKeys(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR)
{
    const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    if (message == WM_GETDLGCODE)
        return result & ~LRESULT(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    return result;
}

// The arrows take the arrow keys rather than moving the focus on, and show
// when they have the focus, which they do not draw themselves.
LRESULT CALLBACK arrowsKeys(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR)
{
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        break;
    case WM_PAINT:
        if (GetFocus() == hwnd) {
            const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
            RECT r{};
            GetClientRect(hwnd, &r);
            InflateRect(&r, -1, -1);
            HDC dc = GetDC(hwnd);
            DrawFocusRect(dc, &r);
            ReleaseDC(hwnd, dc);
            return result;
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}
} // namespace

void Win32Window::buildControls()
{
    for (const std::string_view name : makingOrder()) {
        const ControlKind *kind = kindOf(name);
        if (!kind)
            continue;
        const ControlLayout &c = WindowLayout::control(name);
        const WindowLayout::PixelRect r = WindowLayout::toPixels(c, m_layoutScale);
        HWND control =
            CreateWindowExW(kind->exStyle, kind->windowClass, wide(c.text).c_str(),
                            WS_CHILD | WS_VISIBLE | kind->style, r.left, r.top, r.width, r.height,
                            m_hwnd, HMENU(INT_PTR(kind->id)), m_instance, nullptr);
        SendMessageW(control, WM_SETFONT,
                     WPARAM(m_font ? m_font : GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    for (const int id : {IdKey0, IdKey1})
        SendMessageW(GetDlgItem(m_hwnd, id), EM_SETPASSWORDCHAR, WPARAM(L'*'), 0);
    HWND arrows = GetDlgItem(m_hwnd, IdUpDown);
    SendMessageW(arrows, UDM_SETBUDDY, WPARAM(GetDlgItem(m_hwnd, IdTimer)), 0);
    // Binding may give the arrows the system's width; the table's stays.
    layOutControls();
    SendMessageW(arrows, UDM_SETRANGE32, SpinMinimum, SpinMaximum);
    SendMessageW(arrows, UDM_SETPOS32, 0, m_spinValue);
    SetWindowSubclass(arrows, arrowsKeys, 0, 0);
    SetWindowSubclass(GetDlgItem(m_hwnd, IdAnswer), answerAreaKeys, 0, 0);
    EnableWindow(GetDlgItem(m_hwnd, IdOk), FALSE);
    // The hidden picture holders.
    for (const int id : {IdImage1, IdImage2}) {
        HWND image = GetDlgItem(m_hwnd, id);
        SendMessageW(image, STM_SETICON, WPARAM(m_bigIcons[id == IdImage1 ? 0 : 1]), 0);
        ShowWindow(image, SW_HIDE);
    }
    describeControls();
}

void Win32Window::layOutControls()
{
    const WPARAM font = WPARAM(m_font ? m_font : GetStockObject(DEFAULT_GUI_FONT));
    for (const std::string_view name : makingOrder()) {
        const ControlKind *kind = kindOf(name);
        HWND control = kind ? GetDlgItem(m_hwnd, kind->id) : nullptr;
        if (!control)
            continue;
        const WindowLayout::PixelRect r =
            WindowLayout::toPixels(WindowLayout::control(name), m_layoutScale);
        SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control, WM_SETFONT, font, TRUE);
    }
}

// Moved to a screen of another density: the font for it, the layout at that
// font, and the place and size the system suggests.
void Win32Window::onDpiChanged(UINT dpi, const RECT &suggested)
{
    HFONT font = messageFont(dpi);
    if (!font)
        return;
    HFONT old = m_font;
    m_font = font;
    m_layoutScale = layoutScaleFor(m_font);
    SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    layOutControls();
    if (old)
        DeleteObject(old);
}

HWND Win32Window::control(const char *name) const
{
    const ControlKind *kind = kindOf(name);
    return kind ? GetDlgItem(m_hwnd, kind->id) : nullptr;
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
    case TrayCallbackMessage:
        onTrayCallback(wParam, lParam);
        return 0;
    case WM_DPICHANGED:
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
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
    case WM_ENDSESSION:
        // Logging off or shutting down: the program ends as if the window were closed,
        // so no icon is left behind.
        if (!wParam)
            return 0;
        [[fallthrough]];
    case WM_CLOSE:
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
        // Enter, as the dialog keys report it: pressed in a key box, it is that
        // box's; on the focused OK button, it presses it.
        const HWND focus = GetFocus();
        const int index = focus == GetDlgItem(m_hwnd, IdKey0)   ? 0
                          : focus == GetDlgItem(m_hwnd, IdKey1) ? 1
                                                                : -1;
        if (index >= 0 && m_handlers.keyEnterPressed)
            m_handlers.keyEnterPressed(index);
        else if (focus == GetDlgItem(m_hwnd, IdOk) && IsWindowEnabled(focus))
            call(m_handlers.okClicked);
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

// A click on the balloon reaches the presenter as the core's number for it.
static_assert(NIN_BALLOONUSERCLICK == MouseMessage::NotificationClick);

void Win32Window::onTrayCallback(WPARAM iconId, LPARAM activity)
{
    if (iconId != TrayIconId || !m_handlers.trayNotified)
        return;
    UINT mouseMessage = LOWORD(activity);
    // Chosen from the keyboard (Win+B, then the menu key or Shift+F10, Space or
    // Enter): the pop-up, as for a right press. Shells that keep the record's
    // first form report these keys as a right press themselves.
    if (mouseMessage == WM_CONTEXTMENU || mouseMessage == NIN_KEYSELECT)
        mouseMessage = WM_RBUTTONDOWN;
    // The presenter reads the message as a mouse position, as the record asks.
    m_handlers.trayNotified(double(mouseMessage) * twipsPerPixel());
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

void Win32Window::showAnswerArea()
{
    const std::string &text = m_page;
    // Only a different outcome is read out, not every repeat of the same answer.
    const std::wstring shown = editText(text);
    if (WideText::fromUtf8(windowText(GetDlgItem(m_hwnd, IdAnswer))) == shown)
        return;
    SetWindowTextW(GetDlgItem(m_hwnd, IdAnswer), shown.c_str());
    // Has a screen reader read out the new text.
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, GetDlgItem(m_hwnd, IdAnswer), OBJID_CLIENT,
                   CHILDID_SELF);
}

void Win32Window::describeControls()
{
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_comStarted = SUCCEEDED(started);
    void *service = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, &service))) {
        CoreLog::write(CoreLog::Area::App, CoreLog::Level::Warning,
                       "no accessibility annotation service; controls keep the system's names");
        return;
    }
    m_accessibility = static_cast<IAccPropServices *>(service);
    // A label made just before its control names it; the others are named here.
    for (const ControlLayout &c : WindowLayout::controls()) {
        const ControlKind *kind = kindOf(c.name);
        if (!kind)
            continue;
        HWND control = GetDlgItem(m_hwnd, kind->id);
        if (!c.accessibleName.empty())
            m_accessibility->SetHwndPropStr(control, DWORD(OBJID_CLIENT), CHILDID_SELF,
                                            PROPID_ACC_NAME, wide(c.accessibleName).c_str());
        if (!c.accessibleDescription.empty())
            m_accessibility->SetHwndPropStr(control, DWORD(OBJID_CLIENT), CHILDID_SELF,
                                            PROPID_ACC_DESCRIPTION,
                                            wide(c.accessibleDescription).c_str());
    }
    VARIANT polite;
    VariantInit(&polite);
    polite.vt = VT_I4;
    polite.lVal = LivePolite;
    m_accessibility->SetHwndProp(GetDlgItem(m_hwnd, IdAnswer), DWORD(OBJID_CLIENT), CHILDID_SELF,
                                 LiveSettingProperty, polite);
}

void Win32Window::forgetDescriptions()
{
    if (m_accessibility) {
        const MSAAPROPID properties[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION,
                                         LiveSettingProperty};
        for (const ControlLayout &c : WindowLayout::controls()) {
            if (const ControlKind *kind = kindOf(c.name))
                m_accessibility->ClearHwndProps(GetDlgItem(m_hwnd, kind->id), DWORD(OBJID_CLIENT),
                                                CHILDID_SELF, properties, 3);
        }
        m_accessibility->Release();
        m_accessibility = nullptr;
    }
    if (m_comStarted)
        CoUninitialize();
    m_comStarted = false;
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
    // The tray's size, drawn for it: a larger one the shell would shrink soft.
    return handleNumber(m_smallIcons[picture == Picture::Working ? 0 : 1]);
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

void Win32Window::setTickIntervalMs(std::int64_t ms)
{
    m_tickMs = ms;
    if (m_ticking)
        SetTimer(m_hwnd, Timer1Id, UINT(std::clamp<std::int64_t>(ms, USER_TIMER_MINIMUM, INT_MAX)),
                 nullptr);
}

void Win32Window::startTicking(std::int64_t firstMs)
{
    m_ticking = true;
    setTickIntervalMs(firstMs);
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
