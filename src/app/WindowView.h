#ifndef TAVRIN_APP_WINDOWVIEW_H
#define TAVRIN_APP_WINDOWVIEW_H

#include <cstdint>
#include <string>

// The window as the presenter drives it: caption, picture, the controls' texts,
// its state, the pop-up menu, the quit question and the once-a-second timer.
// Texts are UTF-8. The view reports what the user does by calling the
// presenter's handlers, once per action.
class WindowView
{
public:
    // The window's icon: blue while updating works, red while nothing is updated.
    enum class Picture
    {
        Working,
        Failing
    };

    virtual ~WindowView() = default;

    virtual void setCaption(const std::string &caption) = 0;
    virtual void setPicture(Picture picture) = 0;
    // The answer area's whole text: the status at a glance, then the service's
    // last answer.
    virtual void showAnswer(const std::string &text) = 0;
    // The handles the tray's icon record names the pictures by.
    virtual std::uint32_t pictureHandle(Picture picture) const = 0;
    virtual std::uint32_t windowHandle() const = 0;
    // Display twips per pixel: tray messages carry their number as a pointer position.
    virtual double twipsPerPixel() const = 0;

    virtual bool isMinimised() const = 0;
    virtual bool isShown() const = 0;
    // Minimised without showing the window: it starts in the tray.
    virtual void minimiseAtStart() = 0;
    virtual void hide() = 0;
    // Shown in its normal state.
    virtual void restore() = 0;
    virtual void bringToFront() = 0;

    virtual std::string intervalText() = 0;
    // Replacing the text with a different one counts as a change of the box.
    virtual void setIntervalText(const std::string &text) = 0;
    virtual std::string keyText(int index) = 0;
    virtual void setOkEnabled(bool enabled) = 0;

    virtual bool menuShown() const = 0;
    virtual void popUpMenu() = 0;
    virtual bool askQuitQuestion() = 0;
    // Beenden was confirmed or the window was closed: the program ends.
    virtual void endProgram() = 0;

    // The once-a-second timer, in real milliseconds.
    virtual std::int64_t tickIntervalMs() const = 0;
    virtual void setTickIntervalMs(std::int64_t ms) = 0;
    // Starts it with a first period of firstMs.
    virtual void startTicking(std::int64_t firstMs) = 0;
    virtual void stopTicking() = 0;
    // Lets the platform's pending events run, as a sync always has.
    virtual void runPendingEvents() = 0;
};

#endif
