#ifndef TAVRIN_TESTS_FAKEENGINEPARTS_H
#define TAVRIN_TESTS_FAKEENGINEPARTS_H

// Standard-C++ doubles for the update engine's platform parts: a driven clock,
// a wake timer that only records, a request channel a test finishes itself and
// a listener that records what it is told.

#include "base/Clock.h"
#include "update/RequestChannel.h"
#include "update/UpdateListener.h"
#include "update/UpdateStatus.h"
#include "update/WakeTimer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class DrivenClock : public Clock
{
public:
    std::int64_t nowMs() const override { return ms; }
    std::int64_t ms = 1000000;
};

// Stands still during suspend unless suspendCounted is set.
class RecordingWakeTimer : public WakeTimer
{
public:
    void schedule(std::int64_t atMs) override { dueMs = atMs; }
    void cancel() override { dueMs.reset(); }
    bool countsSuspend() const override { return suspendCounted; }
    std::optional<std::int64_t> dueMs;
    bool suspendCounted = false;
};

class FakeRequestChannel : public RequestChannel
{
public:
    explicit FakeRequestChannel(const Clock &clock) : m_clock(clock) {}

    void navigate(const std::string &url) override
    {
        urls.push_back(url);
        times.push_back(m_clock.nowMs());
        busyAtNavigate.push_back(inFlight);
        inFlight = !url.empty();
        if (onNavigate)
            onNavigate();
    }
    void stop() override
    {
        ++stops;
        inFlight = false;
    }
    bool busy() const override { return inFlight; }
    void setTheaterMode(bool on) override { theater = on; }
    void setFinishedHandler(FinishedHandler handler) override { m_handler = std::move(handler); }

    void succeed(int status = 200) { finish({RequestOutcome::Failure::None, status}); }
    void fail(int status = 500) { finish({RequestOutcome::Failure::HttpStatus, status}); }
    void finish(const RequestOutcome &outcome)
    {
        inFlight = false;
        if (m_handler)
            m_handler(outcome);
    }

    std::vector<std::string> urls;
    std::vector<std::int64_t> times;  // when each request went out
    std::vector<bool> busyAtNavigate; // whether another was still in flight then
    bool inFlight = false;
    bool theater = false;
    int stops = 0;
    std::function<void()> onNavigate;

private:
    const Clock &m_clock;
    FinishedHandler m_handler;
};

class RecordingUpdateListener : public UpdateListener
{
public:
    void captionChanged(const std::string &text) override { caption = text; }
    void synced(const std::string &text, UpdateHealth shown) override
    {
        caption = text;
        health = shown;
        ++syncs;
    }
    void outcomeShown(UpdateHealth shown) override
    {
        health = shown;
        ++outcomes;
    }
    void answerShown(const std::string &text) override { answers.push_back(text); }
    void requestSent(RequestKind kind) override { kinds.push_back(kind); }
    void statusShown(const UpdateStatus &shown) override { statuses.push_back(shown); }
    void attemptFinished(const RequestOutcome &, std::optional<std::int64_t> inMs) override
    {
        nextAttemptsInMs.push_back(inMs);
    }
    void noticeDue(const std::string &title, const std::string &, bool) override
    {
        notices.push_back(title);
    }

    std::string caption;
    UpdateHealth health = UpdateHealth::Good;
    int syncs = 0;
    int outcomes = 0;
    std::vector<RequestKind> kinds;
    std::vector<std::string> answers;
    std::vector<UpdateStatus> statuses;
    std::vector<std::string> notices; // their titles
    std::vector<std::optional<std::int64_t>> nextAttemptsInMs;
};

#endif
