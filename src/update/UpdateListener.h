#ifndef TAVRIN_UPDATE_UPDATELISTENER_H
#define TAVRIN_UPDATE_UPDATELISTENER_H

#include <cstdint>
#include <optional>
#include <string>

struct RequestOutcome;

class UpdateStatus;

// Whether updating works; it decides the window's and the tray's picture.
enum class UpdateHealth
{
    Good,   // updating works: see UpdateStatus
    Failing // nothing is updated: no usable URL or interval, or the last request failed
};

// What started a request.
enum class RequestKind
{
    Start, // the first request at start-up
    Sync,  // the countdown ran out, or a catch-up after sleep or the network's return
    Retry, // a retry after a failure
    Key    // the user applied a new key
};

// What the update engine tells the window to show. Texts are UTF-8.
class UpdateListener
{
public:
    virtual ~UpdateListener() = default;
    // A counted tick's caption ("Count-Down: 299Sec."), only for ticks that are seen.
    virtual void captionChanged(const std::string &caption) = 0;
    // A regular sync went out: the sync caption and the picture of the last outcome;
    // the tray icon is refreshed with it.
    virtual void synced(const std::string &caption, UpdateHealth health) = 0;
    // A request finished and was not replaced: the picture follows its outcome.
    virtual void outcomeShown(UpdateHealth health) = 0;
    // A request got an answer: what the answer area shows of it below the status.
    virtual void answerShown(const std::string &text) = 0;
    // A request finished and was not replaced, before its status is shown.
    // nextAttemptInMs: how long on the clock until the next request goes out;
    // nullopt when none is planned.
    virtual void attemptFinished(const RequestOutcome &outcome,
                                 std::optional<std::int64_t> nextAttemptInMs) = 0;
    // A request went out. During a sync the platform may run its pending events here.
    virtual void requestSent(RequestKind kind) = 0;
    // The status changed, or a request finished: the window says why nothing is
    // updated, and its picture follows the status.
    virtual void statusShown(const UpdateStatus &status) = 0;
    // Updating stopped working, or works again: the tray tells the user once.
    // Texts are German and never hold the URL; warning: shown with a warning
    // sign rather than an information sign.
    virtual void noticeDue(const std::string &title, const std::string &text, bool warning) = 0;
};

#endif
