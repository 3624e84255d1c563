#include "win32/update/WinInetRequestChannel.h"

#include "base/CoreLog.h"
#include "update/HttpRequestText.h"
#include "win32/WideText.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Failure = RequestOutcome::Failure;

constexpr UINT_PTR DeadlineTimer = 1;
constexpr DWORD ReadPieceBytes = 16 * 1024;
// The worker's own socket timeouts: longer than the deadline, which the
// window's timer enforces by hanging up.
constexpr int WorkerGraceMs = 1000;

std::atomic<unsigned> lastHopId{0};
std::atomic<int> workers{0};

UINT hopDoneMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TavrinWinInetHopDone");
    return message;
}

// WinINet's errors by type: its messages may name more than the host.
Failure transportFailure(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
        return Failure::ConnectionRefused;
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
        return Failure::ConnectionClosed;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return Failure::HostNotFound;
    case ERROR_INTERNET_TIMEOUT:
        return Failure::ConnectionTimedOut;
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
        return Failure::SecureConnectionFailed;
    case ERROR_INTERNET_DISCONNECTED:
        return Failure::NetworkUnavailable;
    case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE:
    case ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT:
    case ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT:
        return Failure::ProxyError;
    default:
        return Failure::NetworkError;
    }
}

// The answer's head as it came, status line first; "" when there is none.
std::string rawHead(HINTERNET request)
{
    std::string value(1024, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = DWORD(value.size());
        if (HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, value.data(), &size, nullptr)) {
            value.resize(size);
            return value;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        value.assign(std::size_t(size) + 1, '\0');
    }
    return std::string();
}

} // namespace

// One hop, shared by the window's side and its worker. Every handle is closed
// under the lock, by whichever side is first: the worker at its end, the
// window's side when it hangs up.
struct WinInetRequestChannel::Hop
{
    unsigned id = 0;
    HWND window = nullptr;
    UpdateUrl::RequestUrl url;
    int timeoutMs = 0;

    std::mutex lock;
    HINTERNET handles[3] = {}; // session, connection, request
    bool hungUp = false;
    // What the worker found, read once it posted.
    Failure failure = Failure::None;
    long error = 0;
    std::string head;
    std::string body;

    // Keeps a handle for closing; false when the hop was hung up meanwhile.
    bool keep(int index, HINTERNET handle)
    {
        std::lock_guard<std::mutex> guard(lock);
        handles[index] = handle;
        return !hungUp;
    }
    // False when the hop was hung up before.
    bool close()
    {
        std::lock_guard<std::mutex> guard(lock);
        for (int i = 2; i >= 0; --i) {
            if (handles[i])
                InternetCloseHandle(std::exchange(handles[i], nullptr));
        }
        return !std::exchange(hungUp, true);
    }
    bool transport(DWORD lastError)
    {
        failure = transportFailure(lastError);
        error = long(lastError);
        return false;
    }
    bool fetch();
    void run()
    {
        fetch();
        if (close())
            PostMessageW(window, hopDoneMessage(), WPARAM(id), 0);
        --workers;
    }
};

bool WinInetRequestChannel::Hop::fetch()
{
    const bool secure = url.scheme == "https";
    HINTERNET session = InternetOpenW(WideText::fromUtf8(HttpRequestText::UserAgent).c_str(),
                                      INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return transport(GetLastError());
    if (!keep(0, session))
        return false;
    DWORD socketTimeout = DWORD(timeoutMs + WorkerGraceMs);
    for (DWORD option :
         {DWORD(INTERNET_OPTION_CONNECT_TIMEOUT), DWORD(INTERNET_OPTION_SEND_TIMEOUT),
          DWORD(INTERNET_OPTION_RECEIVE_TIMEOUT)})
        InternetSetOptionW(session, option, &socketTimeout, sizeof socketTimeout);
    const INTERNET_PORT port = INTERNET_PORT(url.port >= 0 ? url.port : secure ? 443 : 80);
    HINTERNET connection = InternetConnectW(session, WideText::fromUtf8(url.host).c_str(), port,
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection)
        return transport(GetLastError());
    if (!keep(1, connection))
        return false;
    const wchar_t *accept[] = {L"*/*", nullptr};
    // WinINet neither follows redirects nor undoes the content coding: the fetch does.
    DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES |
                  INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH | (secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = HttpOpenRequestW(connection, L"GET", WideText::fromUtf8(url.target).c_str(),
                                         L"HTTP/1.1", nullptr, accept, flags, 0);
    if (!request)
        return transport(GetLastError());
    if (!keep(2, request))
        return false;
    HttpAddRequestHeadersW(request, L"Accept-Encoding: gzip, deflate\r\nConnection: close\r\n",
                           DWORD(-1), HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0))
        return transport(GetLastError());
    DWORD status = 0;
    DWORD size = sizeof status;
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    // WinINet reports a connection closed before any answer as status 0.
    if (status == 0)
        return transport(ERROR_INTERNET_CONNECTION_ABORTED);
    head = rawHead(request);
    // Only what has arrived is read, so a hang-up ends the worker between pieces.
    for (DWORD available = 0; body.size() <= HttpFetch::MaxAnswerBytes;) {
        if (!InternetQueryDataAvailable(request, &available, 0, 0))
            return transport(GetLastError());
        if (available == 0)
            return true;
        char piece[ReadPieceBytes];
        DWORD got = 0;
        if (!InternetReadFile(request, piece, std::min<DWORD>(available, sizeof piece), &got))
            return transport(GetLastError());
        if (got == 0)
            return true;
        body.append(piece, got);
    }
    return true;
}

WinInetRequestChannel::WinInetRequestChannel()
    : m_messages([this](UINT message, WPARAM wParam, LPARAM lParam) {
          return handleMessage(message, wParam, lParam);
      })
{
    if (!m_messages.hwnd())
        CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Warning,
                       "request channel has no window; no request can be made");
}

WinInetRequestChannel::~WinInetRequestChannel()
{
    hangUp();
}

int WinInetRequestChannel::runningWorkers()
{
    return workers;
}

void WinInetRequestChannel::navigate(const std::string &url)
{
    hangUp();
    if (!m_messages.hwnd() || !m_fetch.start(url))
        return;
    SetTimer(m_messages.hwnd(), DeadlineTimer, UINT(m_fetch.deadlineMs()), nullptr);
    startHop();
}

void WinInetRequestChannel::stop()
{
    m_fetch.stop();
    hangUp();
}

void WinInetRequestChannel::startHop()
{
    auto hop = std::make_shared<Hop>();
    hop->id = ++lastHopId;
    hop->window = m_messages.hwnd();
    hop->url = m_fetch.url();
    hop->timeoutMs = m_fetch.deadlineMs();
    m_hop = hop;
    // Reported from the message loop like every other outcome.
    if (m_fetch.request(false).empty()) {
        hop->failure = Failure::UrlNotFit;
    } else {
        try {
            ++workers;
            std::thread([hop] { hop->run(); }).detach();
            return;
        } catch (const std::system_error &) {
            --workers;
            hop->failure = Failure::NotStarted;
        }
    }
    PostMessageW(hop->window, hopDoneMessage(), WPARAM(hop->id), 0);
}

bool WinInetRequestChannel::handleMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (message == hopDoneMessage()) {
        onHopDone(unsigned(wParam));
        return true;
    }
    if (message == WM_TIMER && wParam == DeadlineTimer) {
        hangUp();
        follow(m_fetch.timedOut());
        return true;
    }
    return false;
}

void WinInetRequestChannel::onHopDone(unsigned id)
{
    const std::shared_ptr<Hop> hop = m_hop;
    if (!hop || hop->id != id)
        return; // from a hop hung up since
    m_hop.reset();
    if (hop->failure != Failure::None)
        return follow(m_fetch.fail(hop->failure, hop->error));
    // A connection that closed before any answer has no status line.
    HttpFetch::Step step = m_fetch.head(hop->head);
    if (step == HttpFetch::Step::More)
        step = m_fetch.feed(hop->body);
    if (step == HttpFetch::Step::More)
        step = m_fetch.closed();
    follow(step);
}

void WinInetRequestChannel::follow(HttpFetch::Step step)
{
    if (step == HttpFetch::Step::Redirected)
        return startHop();
    if (step != HttpFetch::Step::Done)
        return;
    hangUp();
    if (m_finished)
        m_finished(m_fetch.outcome());
}

void WinInetRequestChannel::hangUp()
{
    if (m_messages.hwnd())
        KillTimer(m_messages.hwnd(), DeadlineTimer);
    if (std::shared_ptr<Hop> hop = std::exchange(m_hop, nullptr))
        hop->close();
}
