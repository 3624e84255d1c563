#ifndef TAVRIN_TESTS_CORE_RECORDINGWINDOWVIEW_H
#define TAVRIN_TESTS_CORE_RECORDINGWINDOWVIEW_H

#include "app/WindowView.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

// A window that keeps what the presenter sets and records each call by name.
// Its boxes report their changes through the handlers a test connects.
class RecordingWindowView : public WindowView
{
public:
    void setCaption(const std::string &text) override { note("caption"), caption = text; }
    void setPicture(Picture shown) override { note("picture"), picture = shown; }
    void showAnswer(const std::string &text) override { note("answer"), answer = text; }
    std::uint32_t pictureHandle(Picture p) const override { return p == Picture::Working ? 1 : 2; }
    std::uint32_t windowHandle() const override { return 0x42; }
    double twipsPerPixel() const override { return 15; }
    bool isMinimised() const override { return minimised; }
    bool isShown() const override { return shown; }
    void minimiseAtStart() override { note("minimiseAtStart"), minimised = true; }
    void hide() override { note("hide"), shown = false; }
    void restore() override { note("restore"), minimised = false, shown = true; }
    void bringToFront() override { note("bringToFront"); }
    std::string intervalText() override { return interval; }
    void setIntervalText(const std::string &text) override
    {
        if (text == interval)
            return;
        interval = text;
        if (onIntervalEdited)
            onIntervalEdited();
    }
    std::string keyText(int index) override { return keys.at(std::size_t(index)); }
    void setOkEnabled(bool enabled) override { okEnabled = enabled; }
    bool menuShown() const override { return false; }
    void popUpMenu() override { note("popUpMenu"); }
    bool askQuitQuestion() override { return note("askQuitQuestion"), quitAnswer; }
    void endProgram() override { note("endProgram"); }
    std::int64_t tickIntervalMs() const override { return tickMs; }
    void setTickIntervalMs(std::int64_t ms) override { tickMs = ms; }
    void startTicking(std::int64_t firstMs) override
    {
        note("startTicking"), ticking = true, firstTickMs = firstMs;
    }
    void stopTicking() override { note("stopTicking"), ticking = false; }
    void runPendingEvents() override { note("runPendingEvents"); }

    std::vector<std::string> calls;
    std::string caption;
    std::string answer;
    Picture picture = Picture::Working;
    bool minimised = false;
    bool shown = false;
    std::string interval = "10";
    std::array<std::string, 2> keys{"", ""};
    bool okEnabled = false;
    bool quitAnswer = true;
    std::int64_t tickMs = 6000;
    std::int64_t firstTickMs = 0;
    bool ticking = true;
    std::function<void()> onIntervalEdited;

private:
    int note(const char *call) { return calls.emplace_back(call), 0; }
};

#endif
