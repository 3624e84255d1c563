#ifndef TAVRIN_TRAY_TRAYEVENTDECODER_H
#define TAVRIN_TRAY_TRAYEVENTDECODER_H

#include <string_view>

// The tray's mouse messages reach the window as the X coordinate of a mouse
// move, measured in twips; dividing by the twips per pixel recovers the
// message number. This class turns that coordinate into what the window does.
class TrayEventDecoder
{
public:
    enum class Action
    {
        None,
        OpenMenu,
        RestoreWindow,
        ShowWindow, // as Optionen... does
    };

    // The nearest whole number to xTwips / twipsPerPixel; 0 when either is unusable.
    static int mouseMessageFromX(double xTwips, double twipsPerPixel);

    // The X coordinate in twips that carries the given message number.
    static double xForMouseMessage(int number, double twipsPerPixel);

    // Right press opens the menu; a left double-click restores the window only
    // when the program was started with "/a" (runMode is already lower-cased);
    // a click on a notification shows the window.
    static Action decode(double xTwips, double twipsPerPixel, std::string_view runMode);
};

#endif
