#ifndef TAVRIN_WIN32_UPDATE_WININETREQUESTCHANNEL_H
#define TAVRIN_WIN32_UPDATE_WININETREQUESTCHANNEL_H

#include "update/RequestChannel.h"
#include "win32/MessageWindow.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// The request channel over WinINet: one GET at a time, made by a worker thread
// with blocking WinINet calls, its outcome posted back to a message-only
// window of the thread that created the channel, so every handler runs there
// from the message loop and never within navigate().
//
// The system's proxy settings apply; nothing is cached, no cookie is sent or
// kept, no dialog is ever shown. Redirects are followed here, not by WinINet
// (at most MaxRedirects, never from https to http, only to http or https), and
// the whole fetch must end within the transfer timeout. gzip and deflate are
// undone by WinINet; at most MaxAnswerBytes of the decoded answer are
// accepted. For every fetch that gets a complete final HTTP answer the page
// handler comes first (the answer's readable text), then the finished handler
// with the outcome as UpdateOutcome judges the answer. busy() is already false
// when they run. An abandoned fetch (stop(), a new navigate(), the channel's
// end) reports nothing, and one past its deadline nothing but that failure: its
// worker ends on its own at its next step or its sockets' timeouts, and hangs up.
class WinInetRequestChannel : public RequestChannel
{
public:
    using PageHandler = std::function<void(const std::string &utf8Text)>;

    static constexpr int DefaultTransferTimeoutMs = 30 * 1000;
    static constexpr int MaxRedirects = 10;
    static constexpr std::size_t MaxAnswerBytes = 1024 * 1024;
    static constexpr std::size_t MaxShownChars = 64 * 1024;

    WinInetRequestChannel();
    ~WinInetRequestChannel() override;
    WinInetRequestChannel(const WinInetRequestChannel &) = delete;
    WinInetRequestChannel &operator=(const WinInetRequestChannel &) = delete;

    void navigate(const std::string &url) override;
    void stop() override;
    bool busy() const override;
    void setTheaterMode(bool on) override;
    void setFinishedHandler(FinishedHandler handler) override;

    // Called with the readable text of each finished fetch's answer, before the outcome.
    void setPageHandler(PageHandler handler);

    // Applies from the next navigate() on. Values below 1 ms are taken as 1 ms.
    void setTransferTimeout(int ms);
    int transferTimeout() const;

    // One fetch's state, shared with its worker; defined in the source.
    struct Fetch;

private:
    // The workers' messages and the deadline, on the channel's thread.
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A message of the worker of fetch id: a redirect taken, or the end.
    void onProgress(unsigned id, bool done);
    void onDeadline();
    // Leaves the fetch in progress to its worker, which reports nothing more.
    void abandon();
    void fail(int httpStatus, const std::string &reason);
    void report(const RequestOutcome &outcome);

    MessageWindow m_messages;
    std::shared_ptr<Fetch> m_fetch;
    std::string m_target; // scheme://host[:port] of the first URL, for the log
    int m_timeoutMs = DefaultTransferTimeoutMs;
    FinishedHandler m_finished;
    PageHandler m_page;
    std::shared_ptr<bool> m_alive; // gone with the channel, for handlers that delete it
};

#endif
