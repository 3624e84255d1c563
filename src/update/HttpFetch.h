#ifndef TAVRIN_UPDATE_HTTPFETCH_H
#define TAVRIN_UPDATE_HTTPFETCH_H

#include "update/ContentDecoder.h"
#include "update/HttpResponseReader.h"
#include "update/RequestOutcome.h"
#include "update/UpdateUrl.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One update request as both channels make it; they only carry bytes.
//
// The URL is refused unless it is an http or https URL with a host. Redirects
// are followed (at most MaxRedirects, never from https to http, only to http
// or https), and the whole fetch must end within the deadline, which the
// channel's timer enforces. The answer is read by HttpResponseReader; at most
// MaxAnswerBytes of it are taken, counted again after ContentDecoder undid its
// coding, and an answer cut short or failing to unpack fails. A complete final
// answer is judged by RequestOutcome::ofAnswer and its text for the answer area
// goes with the outcome. Every fetch ends in one log line; none of them holds the key.
class HttpFetch
{
public:
    static constexpr int DefaultDeadlineMs = 30 * 1000;
    static constexpr std::size_t MaxRedirects = 10;
    static constexpr std::size_t MaxAnswerBytes = 1024 * 1024;

    enum class Step
    {
        More,       // send on what comes; also when no fetch is in progress
        Redirected, // connect to url() and send request() again
        Done,       // outcome() says how it ended
    };

    // Begins a fetch of url (UTF-8), abandoning the one in progress. False,
    // with no outcome to come, when there is nothing to send.
    bool start(const std::string &url);
    // Abandons the fetch in progress; it reports nothing.
    void stop();
    bool busy() const { return m_busy; }
    void setDeadlineMs(int ms);
    int deadlineMs() const { return m_deadlineMs; }

    // Where the request goes now.
    const UpdateUrl::RequestUrl &url() const { return m_url; }
    int port() const;
    // Its bytes; empty when a part cannot go out (then fail with UrlNotFit).
    std::string request(bool toHttpProxy, const std::string &proxyAuthorization = {}) const;

    // The answer as it comes off the connection, framing and all; where the
    // system takes the chunks apart, the head as received goes to head() first.
    Step feed(std::string_view bytes);
    Step closed();
    Step head(std::string_view rawHead);
    // The transport failed, or the deadline passed.
    Step fail(RequestOutcome::Failure failure, long number = 0);
    Step timedOut() { return fail(RequestOutcome::Failure::Deadline, m_deadlineMs); }

    const RequestOutcome &outcome() const { return m_outcome; }

private:
    void startHop();
    // Follows the reader's state after it took bytes or the end.
    Step advance();
    Step redirect(const std::string &location);
    Step answered();
    Step done(RequestOutcome outcome, const std::string &logLine);

    int m_deadlineMs = DefaultDeadlineMs;
    bool m_busy = false;
    UpdateUrl::RequestUrl m_url;
    std::string m_target;            // scheme://host[:port] of the first URL, for the log
    std::vector<std::string> m_urls; // every URL of the fetch, the current one last
    std::unique_ptr<HttpResponseReader> m_reader;
    std::unique_ptr<ContentDecoder> m_decoder;
    bool m_headSeen = false;
    std::string m_body; // decoded
    RequestOutcome m_outcome;
};

#endif
