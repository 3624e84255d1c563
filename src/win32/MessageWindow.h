#ifndef TAVRIN_WIN32_MESSAGEWINDOW_H
#define TAVRIN_WIN32_MESSAGEWINDOW_H

#include <windows.h>

#include <functional>

// A message-only window: messages posted to it, and its timers, run the
// handler on the thread that made it. The parts that work in the background
// (timers, requests, system notices) report through one.
class MessageWindow
{
public:
    // True when the handler took the message.
    using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit MessageWindow(Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow &) = delete;
    MessageWindow &operator=(const MessageWindow &) = delete;

    // Null when the system refused the window.
    HWND hwnd() const { return m_hwnd; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Handler m_handler;
    HWND m_hwnd = nullptr;
};

#endif
