#ifndef TAVRIN_WIN32_APP_WIN32WINDOW_H
#define TAVRIN_WIN32_APP_WIN32WINDOW_H

#include "app/WindowView.h"
#include "win32/tray/ShellTrayIcon.h"

#include <windows.h>

#include <array>
#include <functional>
#include <string>

struct IAccPropServices;

// The program's window on plain Win32, built from the shared layout table at
// the scale of the desktop's message font. It shows what the presenter sets and
// reports each user action once through its handlers.
class Win32Window : public WindowView
{
public:
    // What happened in the window; each is called once per action.
    struct Handlers
    {
        std::function<void()> resized;
        std::function<void()> closed;
        std::function<void()> intervalEdited;
        std::function<void()> arrowsClicked;
        std::function<void(int index)> keyEdited;
        std::function<void(int index)> keyEnterPressed;
        std::function<void()> okClicked;
        std::function<void()> optionenChosen;
        std::function<void()> beendenChosen;
        std::function<void()> timerTicked;
        // The tray icon's callback, as the mouse position in twips that
        // carries the icon's mouse message.
        std::function<void(double xTwips)> trayNotified;
        // Explorer (re)started: tray icons must be added again.
        std::function<void()> taskbarCreated;
        std::function<void()> systemResumed;
        // Another start of the program asked for the window.
        std::function<void()> showRequested;
    };

    // The tray callback's message, as the tray shell registers it, and the icon
    // number the record names.
    static constexpr UINT TrayCallbackMessage = ShellTrayIcon::CallbackMessage;
    static constexpr WPARAM TrayIconId = 2;

    // className: the window class, by which a later start finds this window;
    // showRequestMessage: the registered message such a start posts.
    Win32Window(HINSTANCE instance, const std::wstring &className, UINT showRequestMessage);
    ~Win32Window() override;
    Win32Window(const Win32Window &) = delete;
    Win32Window &operator=(const Win32Window &) = delete;

    void setHandlers(Handlers handlers) { m_handlers = std::move(handlers); }
    HWND hwnd() const { return m_hwnd; }
    // Tab and Enter between the controls; true when the message was handled.
    bool handleDialogKeys(MSG &message);
    // Replaces the quit question (a message box) — for tests.
    void setQuitConfirmation(std::function<bool()> confirm) { m_confirmQuit = std::move(confirm); }
    // Twips per pixel the layout was built at.
    double layoutScale() const { return m_layoutScale; }
    HWND control(const char *name) const;

    // WindowView
    void setCaption(const std::string &caption) override;
    void setPicture(Picture picture) override;
    void showAnswer(const std::string &text) override;
    std::uint32_t pictureHandle(Picture picture) const override;
    std::uint32_t windowHandle() const override;
    double twipsPerPixel() const override;
    bool isMinimised() const override;
    bool isShown() const override;
    void minimiseAtStart() override;
    void hide() override;
    void restore() override;
    void bringToFront() override;
    std::string intervalText() override;
    void setIntervalText(const std::string &text) override;
    std::string keyText(int index) override;
    void setOkEnabled(bool enabled) override;
    bool menuShown() const override { return m_menuShown; }
    void popUpMenu() override;
    bool askQuitQuestion() override;
    void endProgram() override;
    std::int64_t tickIntervalMs() const override { return m_tickMs; }
    void setTickIntervalMs(std::int64_t ms) override;
    void startTicking(std::int64_t firstMs) override;
    void stopTicking() override;
    void runPendingEvents() override;

private:
    enum MenuId : UINT
    {
        MenuOptionen = 200,
        MenuBeenden,
    };
    static constexpr UINT_PTR Timer1Id = 1;
    // Posted once for any number of size changes before it is handled.
    static constexpr UINT ResizedMessage = WM_APP + 1;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildControls();
    // Places every control and gives it the font, at the current scale.
    void layOutControls();
    void onDpiChanged(UINT dpi, const RECT &suggested);
    void onCommand(int id, int code);
    void onArrows(int delta);
    void onTrayCallback(WPARAM iconId, LPARAM activity);
    // Names and descriptions for screen readers where the system derives none.
    void describeControls();
    void forgetDescriptions();
    void showAnswerArea();
    static void call(const std::function<void()> &handler);

    HINSTANCE m_instance;
    std::wstring m_className;
    UINT m_showRequestMessage;
    UINT m_taskbarCreatedMessage;
    HWND m_hwnd = nullptr;
    HFONT m_font = nullptr;
    HMENU m_menu = nullptr;
    std::array<HICON, 2> m_bigIcons{};
    std::array<HICON, 2> m_smallIcons{};
    HICON m_shownIcon = nullptr;
    double m_layoutScale = 15;
    // Minimised without ever being shown: no window manager needs to know.
    bool m_minimisedAtStart = false;
    bool m_shownBefore = false;
    bool m_resizePending = false;
    bool m_menuShown = false;
    bool m_ending = false;
    std::int64_t m_tickMs = 6000;
    bool m_ticking = false;
    int m_spinValue = 1;
    // The control that had the focus when the window was last left.
    HWND m_lastFocus = nullptr;
    std::string m_page;
    std::function<bool()> m_confirmQuit;
    Handlers m_handlers;
    // Sets the names and descriptions; null when the system offers none.
    IAccPropServices *m_accessibility = nullptr;
    bool m_comStarted = false;
};

#endif
