#ifndef TAVRIN_TRAY_MOUSEMESSAGE_H
#define TAVRIN_TRAY_MOUSEMESSAGE_H

// The mouse message numbers the tray icon reports activity with: the window
// message numbers of the platform the icon record was made for. Every front
// end speaks them, whatever its tray delivers.
namespace MouseMessage {
constexpr int Move = 512;
constexpr int LeftButtonUp = 514;
constexpr int LeftButtonDoubleClick = 515;
constexpr int RightButtonDown = 516;
constexpr int MiddleButtonUp = 520;
// Not a mouse message: the user clicked the icon's notification (the shell's
// balloon click, WM_USER + 5).
constexpr int NotificationClick = 1029;
} // namespace MouseMessage

#endif
