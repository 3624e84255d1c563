#include "win32/MessageWindow.h"

constexpr const wchar_t *WindowClass = L"TavrinConnector.MessageWindow";

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler))
{
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &MessageWindow::windowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClass;
        return RegisterClassExW(&windowClass);
    }();
    static_cast<void>(registered);
    m_hwnd = CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (m_hwnd)
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, LONG_PTR(this));
}

MessageWindow::~MessageWindow()
{
    if (m_hwnd) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

LRESULT CALLBACK MessageWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<MessageWindow *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->m_handler && self->m_handler(message, wParam, lParam))
        return 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
