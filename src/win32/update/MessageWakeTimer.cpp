#include "win32/update/MessageWakeTimer.h"

#include "update/Clock.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
constexpr UINT_PTR WakeTimerId = 1;
constexpr const wchar_t *WindowClass = L"TavrinConnector.WakeTimer";
} // namespace

MessageWakeTimer::MessageWakeTimer(HINSTANCE instance, const Clock &clock,
                                   std::function<void()> onWake)
    : m_clock(&clock), m_onWake(std::move(onWake))
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MessageWakeTimer::windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);
    m_hwnd = CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                             nullptr);
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, LONG_PTR(this));
}

MessageWakeTimer::~MessageWakeTimer()
{
    if (m_hwnd) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

void MessageWakeTimer::schedule(std::int64_t atMs)
{
    const double realMs = double(atMs - m_clock->nowMs()) / m_scale;
    const auto delay =
        UINT(std::clamp(std::ceil(realMs), double(USER_TIMER_MINIMUM), double(INT_MAX)));
    m_active = SetTimer(m_hwnd, WakeTimerId, delay, nullptr) != 0;
}

void MessageWakeTimer::cancel()
{
    KillTimer(m_hwnd, WakeTimerId);
    m_active = false;
}

void MessageWakeTimer::setTimeScale(double scale)
{
    m_scale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

LRESULT CALLBACK MessageWakeTimer::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<MessageWakeTimer *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_TIMER && wParam == WakeTimerId) {
        // One shot: the engine plans the next wake-up itself.
        self->cancel();
        if (self->m_onWake)
            self->m_onWake();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
