#include "win32/update/WinInetRequestChannel.h"

#include "update/AsciiText.h"
#include "update/CoreLog.h"
#include "update/HtmlText.h"
#include "update/HttpAnswer.h"
#include "update/HttpRequestText.h"
#include "update/HttpResponseReader.h"
#include "update/UpdateOutcome.h"
#include "update/UpdateUrl.h"
#include "win32/WideText.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr UINT_PTR DeadlineTimer = 1;
constexpr DWORD ReadPieceBytes = 16 * 1024;
// The worker's own socket timeouts: longer than the deadline, which the
// window's timer enforces, so they only bound how long an abandoned worker lingers.
constexpr int WorkerGraceMs = 1000;
// ERROR_INTERNET_DECODING_FAILED, which mingw-w64's header lacks.
constexpr DWORD DecodingFailed = 12175;

// What the worker says through the window.
enum class Progress : LPARAM
{
    Redirected,
    Done,
};

void logInfo(const std::string &text)
{
    CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Info, text);
}

void logWarning(const std::string &text)
{
    CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Warning, text);
}

std::string secondsText(int ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", ms / 1000.0);
    return text;
}

// Our own wording for WinINet's errors: its messages may name more than the host.
std::string transportReason(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
        return "connection refused";
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
        return "connection closed by the server";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return "host not found";
    case ERROR_INTERNET_TIMEOUT:
        return "connection timed out";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        return "secure connection failed";
    case ERROR_INTERNET_DISCONNECTED:
        return "network unavailable";
    case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE:
    case ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT:
    case ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT:
        return "proxy error";
    case DecodingFailed:
        return "compressed answer damaged";
    default:
        return "network error " + std::to_string(error);
    }
}

struct HandleCloser
{
    void operator()(void *handle) const { InternetCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A header of the answer as its bytes, or "" when it has none.
std::string header(HINTERNET request, DWORD info)
{
    std::string value(256, '\0');
    for (;;) {
        DWORD size = DWORD(value.size());
        DWORD index = 0;
        if (HttpQueryInfoA(request, info, value.data(), &size, &index)) {
            value.resize(size);
            return value;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= value.size())
            return std::string();
        value.assign(std::size_t(size) + 1, '\0');
    }
}

// Bytes a URL cannot hold as they are: the request URL's rules encode them again.
std::string asciiOnly(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || byte < 0x20) {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// location taken against base as a browser would.
std::string resolved(const std::string &base, const std::string &location)
{
    const std::wstring baseW = WideText::fromUtf8(base);
    const std::wstring relativeW = WideText::fromUtf8(asciiOnly(location));
    std::wstring out(2048, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = DWORD(out.size());
        if (InternetCombineUrlW(baseW.c_str(), relativeW.c_str(), out.data(), &size,
                                ICU_NO_ENCODE)) {
            out.resize(size);
            return WideText::toUtf8(out);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        out.assign(std::size_t(size) + 1, L'\0');
    }
    return std::string();
}

std::string schemeOf(const std::string &url)
{
    const std::size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return std::string();
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return std::string();
    }
    return AsciiText::lowered(url.substr(0, colon));
}

// The code page of the charsets servers name; UTF-8 for every other one.
UINT codePageFor(const std::string &charset)
{
    if (charset == "iso-8859-1" || charset == "latin1" || charset == "latin-1" ||
        charset == "iso8859-1" || charset == "us-ascii")
        return 28591;
    if (charset == "iso-8859-15" || charset == "latin-9")
        return 28605;
    if (charset == "windows-1252" || charset == "cp1252")
        return 1252;
    return CP_UTF8;
}

std::wstring cut(std::wstring text)
{
    if (text.size() > WinInetRequestChannel::MaxShownChars) {
        std::size_t length = WinInetRequestChannel::MaxShownChars;
        if (IS_HIGH_SURROGATE(text[length - 1]))
            --length;
        text.resize(length);
    }
    return text;
}

// The charset a page names in a <meta> near its start ("" for none).
std::string metaCharset(const std::string &body)
{
    const std::string head = AsciiText::lowered(body.substr(0, 1024));
    for (std::size_t meta = head.find("<meta"); meta != std::string::npos;
         meta = head.find("<meta", meta + 5)) {
        const std::size_t end = head.find('>', meta);
        const std::size_t at = head.find("charset=", meta);
        if (at == std::string::npos || (end != std::string::npos && at > end))
            continue;
        std::size_t from = at + 8;
        while (from < head.size() && (head[from] == '"' || head[from] == '\''))
            ++from;
        std::size_t to = from;
        while (to < head.size() && (std::isalnum(static_cast<unsigned char>(head[to])) ||
                                    head[to] == '-' || head[to] == '_'))
            ++to;
        return head.substr(from, to - from);
    }
    return std::string();
}

// What the answer area shows: the answer as text, an HTML page as its readable text.
std::string shownText(const std::string &contentType, const std::string &body)
{
    const bool isHtml = HttpAnswer::isHtml(contentType, body);
    std::string charset = AsciiText::lowered(HttpAnswer::charset(contentType));
    if (charset.empty() && isHtml)
        charset = metaCharset(body);
    const std::wstring text = cut(WideText::fromCodePage(body, codePageFor(charset)));
    if (!isHtml)
        return WideText::toUtf8(text);
    const std::string html = WideText::toUtf8(text);
    return WideText::toUtf8(cut(
        WideText::fromUtf8(HtmlText::readableText(html, WinInetRequestChannel::MaxShownChars))));
}

std::atomic<unsigned> lastFetchId{0};

UINT progressMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TavrinWinInetFetchProgress");
    return message;
}

} // namespace

// One fetch, shared by the window's side and its worker. The worker fills in
// the result under the lock, then posts Done.
struct WinInetRequestChannel::Fetch
{
    struct Result
    {
        bool answered = false; // a complete final answer; else reason says what failed
        int status = 0;
        std::string reason;
        std::string contentType;
        std::string body; // decoded
        std::vector<std::string> urls;
    };

    // The head of a final answer, and its body once read.
    struct Answer
    {
        int status = 0;
        std::string location;
        std::string contentType;
        std::string coding; // lower case
        std::string declaredLength;
        std::string body;
        bool bodyKnown = false; // taken from behind an interim answer, still coded
    };

    unsigned id = 0;
    HWND window = nullptr;
    int timeoutMs = 0;
    std::chrono::steady_clock::time_point deadline;
    UpdateUrl::RequestUrl firstUrl;
    std::atomic<bool> abandoned{false};

    std::mutex lock;
    Result result;
    std::vector<std::string> redirects; // redacted, not yet logged

    void post(Progress progress)
    {
        if (!abandoned)
            PostMessageW(window, progressMessage(), WPARAM(id), LPARAM(progress));
    }

    void run();
    Result fetchAll();
    // One request of the fetch; true when it ended the fetch (an answer or a failure).
    bool hop(HINTERNET session, Result &result, UpdateUrl::RequestUrl &url);
    // Reads the rest of the answer, within the size limit; false when that ended the fetch.
    bool readBody(HINTERNET request, bool identity, std::string &body, Result &result);
    // The final answer after an interim one; false when there is none.
    bool fromInterim(const std::string &bytes, Answer &answer, Result &result);
    // Takes the redirect to location; false when it is refused.
    bool redirect(const std::string &location, Result &result, UpdateUrl::RequestUrl &url);
    bool timedOut() const { return std::chrono::steady_clock::now() >= deadline; }
};

void WinInetRequestChannel::Fetch::run()
{
    Result done = fetchAll();
    {
        std::lock_guard<std::mutex> guard(lock);
        result = std::move(done);
    }
    post(Progress::Done);
}

WinInetRequestChannel::Fetch::Result WinInetRequestChannel::Fetch::fetchAll()
{
    Result result;
    result.urls = {firstUrl.url};
    const Handle session(InternetOpenW(WideText::fromUtf8(HttpRequestText::UserAgent).c_str(),
                                       INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        result.reason = transportReason(GetLastError());
        return result;
    }
    DWORD socketTimeout = DWORD(timeoutMs + WorkerGraceMs);
    for (DWORD option :
         {DWORD(INTERNET_OPTION_CONNECT_TIMEOUT), DWORD(INTERNET_OPTION_SEND_TIMEOUT),
          DWORD(INTERNET_OPTION_RECEIVE_TIMEOUT)})
        InternetSetOptionW(session.get(), option, &socketTimeout, sizeof socketTimeout);

    UpdateUrl::RequestUrl url = firstUrl;
    while (!abandoned && !hop(session.get(), result, url)) {
    }
    return result;
}

bool WinInetRequestChannel::Fetch::hop(HINTERNET session, Result &result,
                                       UpdateUrl::RequestUrl &url)
{
    const bool secure = url.scheme == "https";
    // The same checks as for a request written by hand: nothing that could break a line.
    if (HttpRequestText::get({url.scheme, url.host, url.port, url.target}, false,
                             HttpRequestText::UserAgent)
            .empty()) {
        result.reason = "update URL not fit to send";
        return true;
    }
    const INTERNET_PORT port = INTERNET_PORT(url.port >= 0 ? url.port
                                             : secure      ? INTERNET_DEFAULT_HTTPS_PORT
                                                           : INTERNET_DEFAULT_HTTP_PORT);
    const Handle connection(InternetConnectW(session, WideText::fromUtf8(url.host).c_str(), port,
                                             nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        result.reason = transportReason(GetLastError());
        return true;
    }
    const wchar_t *accept[] = {L"*/*", nullptr};
    DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES |
                  INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
    if (secure)
        flags |= INTERNET_FLAG_SECURE;
    const Handle request(HttpOpenRequestW(connection.get(), L"GET",
                                          WideText::fromUtf8(url.target).c_str(), L"HTTP/1.1",
                                          nullptr, accept, flags, 0));
    if (!request) {
        result.reason = transportReason(GetLastError());
        return true;
    }
    // WinINet undoes gzip and deflate itself once asked to, and offers them.
    BOOL decoding = TRUE;
    InternetSetOptionW(request.get(), INTERNET_OPTION_HTTP_DECODING, &decoding, sizeof decoding);
    HttpAddRequestHeadersW(request.get(),
                           L"Accept-Encoding: gzip, deflate\r\nConnection: close\r\n", DWORD(-1),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
        result.reason = transportReason(GetLastError());
        return true;
    }
    if (abandoned)
        return true;

    DWORD status = 0;
    DWORD size = sizeof status;
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    if (status == 0) {
        // WinINet reports a connection closed before any answer as status 0.
        result.reason = "connection closed by the server";
        return true;
    }
    Answer answer;
    answer.status = int(status);
    answer.location = header(request.get(), HTTP_QUERY_LOCATION);
    answer.contentType = header(request.get(), HTTP_QUERY_CONTENT_TYPE);
    answer.coding =
        AsciiText::lowered(AsciiText::trimmed(header(request.get(), HTTP_QUERY_CONTENT_ENCODING)));
    answer.declaredLength = header(request.get(), HTTP_QUERY_CONTENT_LENGTH);
    if (answer.status < 200) {
        // WinINet stops at an interim answer and hands the final one over as
        // its body: the reader takes both apart again.
        std::string rest;
        if (!readBody(request.get(), true, rest, result))
            return true;
        if (!fromInterim(header(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF) + rest, answer, result))
            return true;
    }

    if (HttpAnswer::isRedirect(answer.status) && !answer.location.empty())
        return !redirect(answer.location, result, url);

    const bool identity = answer.coding.empty() || answer.coding == "identity";
    if (!identity &&
        (answer.bodyKnown || (answer.coding != "gzip" && answer.coding != "deflate"))) {
        result.reason = "compressed answer in an unsupported coding";
        return true;
    }
    const unsigned long long length =
        answer.declaredLength.empty() ? 0
                                      : std::strtoull(answer.declaredLength.c_str(), nullptr, 10);
    if (!answer.bodyKnown) {
        if (identity && length > WinInetRequestChannel::MaxAnswerBytes) {
            result.reason = "answer too large";
            return true;
        }
        if (!readBody(request.get(), identity, answer.body, result))
            return true;
        if (identity && !answer.declaredLength.empty() && answer.body.size() < length) {
            result.reason = "answer cut short";
            return true;
        }
    }
    result.answered = true;
    result.status = answer.status;
    result.contentType = answer.contentType;
    result.body = std::move(answer.body);
    return true;
}

bool WinInetRequestChannel::Fetch::readBody(HINTERNET request, bool identity, std::string &body,
                                            Result &result)
{
    char piece[ReadPieceBytes];
    for (;;) {
        if (abandoned)
            return false;
        if (timedOut()) {
            result.reason = "no answer within " + secondsText(timeoutMs) + " s";
            return false;
        }
        DWORD got = 0;
        if (!InternetReadFile(request, piece, sizeof piece, &got)) {
            result.reason = transportReason(GetLastError());
            return false;
        }
        if (got == 0)
            return true;
        if (body.size() + got > WinInetRequestChannel::MaxAnswerBytes) {
            result.reason =
                identity
                    ? std::string("answer too large")
                    : "answer too large: over " +
                          std::to_string(WinInetRequestChannel::MaxAnswerBytes / (1024 * 1024)) +
                          " MiB unpacked";
            return false;
        }
        body.append(piece, got);
    }
}

bool WinInetRequestChannel::Fetch::fromInterim(const std::string &bytes, Answer &answer,
                                               Result &result)
{
    HttpResponseReader reader(WinInetRequestChannel::MaxAnswerBytes);
    reader.feed(bytes);
    if (reader.state() == HttpResponseReader::State::NeedMore)
        reader.finish();
    if (reader.state() == HttpResponseReader::State::Failed) {
        result.reason = reader.failureText();
        return false;
    }
    answer.status = reader.status();
    answer.location = reader.field("Location");
    answer.contentType = reader.field("Content-Type");
    answer.coding = AsciiText::lowered(AsciiText::trimmed(reader.field("Content-Encoding")));
    answer.body = reader.takeBody();
    answer.bodyKnown = true;
    return true;
}

bool WinInetRequestChannel::Fetch::redirect(const std::string &location, Result &result,
                                            UpdateUrl::RequestUrl &url)
{
    const std::string target = resolved(url.url, location);
    const std::string scheme = schemeOf(target);
    if (scheme != "http" && scheme != "https") {
        result.reason = "unsupported protocol";
        return false;
    }
    const std::optional<UpdateUrl::RequestUrl> to = UpdateUrl::toRequestUrl(target);
    if (!to) {
        result.reason = "invalid redirect";
        return false;
    }
    if (url.scheme == "https" && to->scheme == "http") {
        result.reason = "redirect to a less secure URL refused";
        return false;
    }
    if (result.urls.size() > std::size_t(WinInetRequestChannel::MaxRedirects)) {
        result.reason = "too many redirects";
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        redirects.push_back(UpdateUrl::redacted(to));
    }
    post(Progress::Redirected);
    result.urls.push_back(to->url);
    url = *to;
    return true;
}

WinInetRequestChannel::WinInetRequestChannel()
    : m_messages([this](UINT message, WPARAM wParam, LPARAM lParam) {
          return handleMessage(message, wParam, lParam);
      })
{
    if (!m_messages.hwnd())
        logWarning("request channel has no window; no request can be made");
    m_alive = std::make_shared<bool>(true);
}

WinInetRequestChannel::~WinInetRequestChannel()
{
    abandon();
    m_alive.reset();
}

void WinInetRequestChannel::navigate(const std::string &url)
{
    if (busy())
        logInfo("request to " + m_target + " abandoned for a new one");
    abandon();

    // Neither refusal quotes the text: it holds the key.
    if (url.empty()) {
        logInfo("no update URL set; nothing requested");
        return;
    }
    const std::optional<UpdateUrl::RequestUrl> requestUrl = UpdateUrl::toRequestUrl(url);
    if (!requestUrl) {
        logWarning("update URL refused: not an http or https URL with a host");
        return;
    }

    m_target = UpdateUrl::redacted(requestUrl);
    if (!m_messages.hwnd()) {
        logWarning("request to " + m_target + " not made: the channel has no window");
        return;
    }
    logInfo("request to " + m_target);
    auto fetch = std::make_shared<Fetch>();
    fetch->id = ++lastFetchId;
    fetch->window = m_messages.hwnd();
    fetch->timeoutMs = m_timeoutMs;
    fetch->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs);
    fetch->firstUrl = *requestUrl;
    m_fetch = fetch;
    SetTimer(m_messages.hwnd(), DeadlineTimer, UINT(m_timeoutMs), nullptr);
    try {
        std::thread([fetch] { fetch->run(); }).detach();
    } catch (const std::system_error &) {
        // Reported from the message loop like every other outcome.
        fetch->result.reason = "request could not be started";
        fetch->post(Progress::Done);
    }
}

void WinInetRequestChannel::stop()
{
    if (!busy())
        return;
    logInfo("request to " + m_target + " stopped");
    abandon();
}

bool WinInetRequestChannel::busy() const
{
    return m_fetch != nullptr;
}

void WinInetRequestChannel::setTheaterMode(bool on)
{
    (void)on;
}

void WinInetRequestChannel::setFinishedHandler(FinishedHandler handler)
{
    m_finished = std::move(handler);
}

void WinInetRequestChannel::setPageHandler(PageHandler handler)
{
    m_page = std::move(handler);
}

void WinInetRequestChannel::setTransferTimeout(int ms)
{
    m_timeoutMs = std::max(1, ms);
}

int WinInetRequestChannel::transferTimeout() const
{
    return m_timeoutMs;
}

bool WinInetRequestChannel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == progressMessage()) {
        onProgress(unsigned(wParam), Progress(lParam) == Progress::Done);
        return true;
    }
    if (message == WM_TIMER && wParam == DeadlineTimer) {
        onDeadline();
        return true;
    }
    return false;
}

void WinInetRequestChannel::onProgress(unsigned id, bool done)
{
    if (!m_fetch || m_fetch->id != id)
        return; // from an abandoned fetch
    std::vector<std::string> redirects;
    Fetch::Result result;
    {
        std::lock_guard<std::mutex> guard(m_fetch->lock);
        redirects = std::exchange(m_fetch->redirects, {});
        if (done)
            result = std::move(m_fetch->result);
    }
    for (const std::string &to : redirects)
        logInfo("redirected to " + to);
    if (!done)
        return;
    abandon();

    if (!result.answered) {
        fail(result.status, result.reason);
        return;
    }
    const std::string target = m_target;
    const UpdateOutcome outcome = UpdateOutcome::classify(result.status, result.body);
    const std::weak_ptr<bool> alive = m_alive;
    if (m_page)
        m_page(shownText(result.contentType, result.body));
    if (alive.expired())
        return;

    if (!outcome.succeeded()) {
        logWarning("request to " + target + " failed: " + outcome.describe(result.urls));
        report({false, result.status, outcome.failureReason(result.urls)});
        return;
    }
    logInfo("request to " + target + " succeeded: " + outcome.describe(result.urls));
    report({true, result.status, std::string()});
}

void WinInetRequestChannel::onDeadline()
{
    KillTimer(m_messages.hwnd(), DeadlineTimer);
    if (!busy())
        return;
    const int timeoutMs = m_fetch->timeoutMs;
    abandon();
    fail(0, "no answer within " + secondsText(timeoutMs) + " s");
}

void WinInetRequestChannel::abandon()
{
    if (m_messages.hwnd())
        KillTimer(m_messages.hwnd(), DeadlineTimer);
    if (std::shared_ptr<Fetch> fetch = std::exchange(m_fetch, nullptr))
        fetch->abandoned = true;
}

void WinInetRequestChannel::fail(int httpStatus, const std::string &reason)
{
    logWarning("request to " + m_target + " failed: " + reason);
    report({false, httpStatus, reason});
}

void WinInetRequestChannel::report(const RequestOutcome &outcome)
{
    if (m_finished)
        m_finished(outcome);
}
