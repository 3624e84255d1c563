#ifndef TAVRIN_WIN32_UPDATE_WININETREQUESTCHANNEL_H
#define TAVRIN_WIN32_UPDATE_WININETREQUESTCHANNEL_H

#include "update/HttpFetch.h"
#include "update/RequestChannel.h"
#include "win32/MessageWindow.h"

#include <windows.h>

#include <memory>

// The request channel over WinINet. HttpFetch judges the fetch on the
// channel's thread; each hop's connection is a worker thread with blocking
// WinINet calls that hands the answer's head as received and its body, still
// content-coded, back to a message-only window, so every handler runs from
// the message loop and never within navigate(). The system's proxy settings
// apply; nothing is cached, no cookie is sent or kept, no dialog is shown,
// redirects are left to the fetch. The worker reads only what has arrived, and
// an abandoned hop (stop(), a new navigate(), the deadline, the channel's end)
// is hung up: its handles close, so its worker ends at once and reports nothing.
class WinInetRequestChannel : public RequestChannel
{
public:
    WinInetRequestChannel();
    ~WinInetRequestChannel() override;
    WinInetRequestChannel(const WinInetRequestChannel &) = delete;
    WinInetRequestChannel &operator=(const WinInetRequestChannel &) = delete;

    void navigate(const std::string &url) override;
    void stop() override;
    bool busy() const override { return m_fetch.busy(); }
    void setTheaterMode(bool) override {}
    void setFinishedHandler(FinishedHandler handler) override { m_finished = std::move(handler); }

    // Applies from the next navigate() on. Values below 1 ms are taken as 1 ms.
    void setTransferTimeout(int ms) { m_fetch.setDeadlineMs(ms); }
    // Worker threads of every channel still running.
    static int runningWorkers();

    // One hop's connection, shared with its worker; defined in the source.
    struct Hop;

private:
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void startHop();
    void onHopDone(unsigned id);
    void follow(HttpFetch::Step step);
    // Closes the hop's handles; its worker ends without a report.
    void hangUp();

    MessageWindow m_messages;
    HttpFetch m_fetch;
    std::shared_ptr<Hop> m_hop;
    FinishedHandler m_finished;
};

#endif
