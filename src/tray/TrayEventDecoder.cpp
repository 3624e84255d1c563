#include "tray/TrayEventDecoder.h"

#include "tray/MouseMessage.h"

#include <cmath>
#include <limits>

int TrayEventDecoder::mouseMessageFromX(double xTwips, double twipsPerPixel)
{
    if (!std::isfinite(xTwips) || !std::isfinite(twipsPerPixel) || twipsPerPixel <= 0)
        return 0;
    const double pixels = std::round(xTwips / twipsPerPixel);
    if (!std::isfinite(pixels) || std::fabs(pixels) > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(pixels);
}

double TrayEventDecoder::xForMouseMessage(int number, double twipsPerPixel)
{
    return number * twipsPerPixel;
}

TrayEventDecoder::Action TrayEventDecoder::decode(double xTwips, double twipsPerPixel,
                                                  std::string_view runMode)
{
    const int message = mouseMessageFromX(xTwips, twipsPerPixel);
    if (message == MouseMessage::RightButtonDown)
        return Action::OpenMenu;
    if (message == MouseMessage::LeftButtonDoubleClick && runMode == "/a")
        return Action::RestoreWindow;
    if (message == MouseMessage::NotificationClick)
        return Action::ShowWindow;
    return Action::None;
}
