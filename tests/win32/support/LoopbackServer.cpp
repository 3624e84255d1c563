#include "LoopbackServer.h"

#include <ws2tcpip.h>

#include <algorithm>

namespace {

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(u_short(port));
    return address;
}

} // namespace

LoopbackServer::Answer LoopbackServer::reply(int status, const std::string &body,
                                             const std::string &extraHeaders, bool withLength)
{
    Answer answer;
    answer.raw = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n" +
                 extraHeaders +
                 (withLength ? "Content-Length: " + std::to_string(body.size()) + "\r\n" : "") +
                 "Connection: close\r\n\r\n" + body;
    return answer;
}

LoopbackServer::Answer LoopbackServer::redirect(const std::string &location, int status)
{
    return reply(status, std::string(), "Location: " + location + "\r\n");
}

LoopbackServer::LoopbackServer()
{
    WSADATA data;
    m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

LoopbackServer::~LoopbackServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (Connection &connection : m_connections)
        close(connection);
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    if (m_started)
        WSACleanup();
}

bool LoopbackServer::listen()
{
    if (!m_started || m_listener != INVALID_SOCKET)
        return false;
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listener == INVALID_SOCKET)
        return false;
    sockaddr_in address = loopback(0);
    int size = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, SOMAXCONN) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
    return true;
}

std::string LoopbackServer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void LoopbackServer::setAnswer(const std::string &target, const Answer &answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_answers[target] = answer;
}

void LoopbackServer::setDefaultAnswer(const Answer &answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_defaultAnswer = answer;
}

std::vector<std::string> LoopbackServer::requestLines() const
{
    std::vector<std::string> lines;
    for (const std::string &head : requestHeads())
        lines.push_back(head.substr(0, head.find("\r\n")));
    return lines;
}

std::vector<std::string> LoopbackServer::requestHeads() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_heads;
}

int LoopbackServer::requestCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return int(m_heads.size());
}

int LoopbackServer::hangUps() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hangUps;
}

int LoopbackServer::closedPort()
{
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = loopback(0);
    int size = sizeof address;
    bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &size);
    closesocket(probe);
    return ntohs(address.sin_port);
}

void LoopbackServer::serve()
{
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        for (const Connection &connection : m_connections)
            FD_SET(connection.socket, &readable);
        timeval wait{0, 10 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) == SOCKET_ERROR)
            break;
        if (FD_ISSET(m_listener, &readable) && m_connections.size() < FD_SETSIZE - 1) {
            Connection connection;
            connection.socket = accept(m_listener, nullptr, nullptr);
            if (connection.socket != INVALID_SOCKET)
                m_connections.push_back(std::move(connection));
        }
        const auto now = std::chrono::steady_clock::now();
        for (Connection &connection : m_connections) {
            if (connection.socket != INVALID_SOCKET && FD_ISSET(connection.socket, &readable))
                readFrom(connection);
            if (connection.socket != INVALID_SOCKET && connection.answer &&
                !connection.answer->silent && now >= connection.due)
                answer(connection);
        }
        m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                           [](const Connection &connection) {
                                               return connection.socket == INVALID_SOCKET;
                                           }),
                            m_connections.end());
    }
}

void LoopbackServer::readFrom(Connection &connection)
{
    char piece[4096];
    const int got = recv(connection.socket, piece, sizeof piece, 0);
    if (got <= 0) {
        // The client went away; before its answer, that is a hang-up.
        if (connection.answer) {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_hangUps;
        }
        close(connection);
        return;
    }
    if (connection.requestRead)
        return;
    connection.buffer.append(piece, std::size_t(got));
    const std::size_t end = connection.buffer.find("\r\n\r\n");
    if (end == std::string::npos)
        return;
    connection.requestRead = true;
    const std::string head = connection.buffer.substr(0, end);
    const std::size_t first = head.find(' ');
    const std::size_t second = head.find(' ', first + 1);
    const std::string target =
        first == std::string::npos ? std::string() : head.substr(first + 1, second - first - 1);
    Answer chosen = reply(200, "good");
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_heads.push_back(head);
        const auto found = m_answers.find(target);
        if (found != m_answers.end())
            chosen = found->second;
        else if (m_defaultAnswer)
            chosen = *m_defaultAnswer;
    }
    if (chosen.hangUp) {
        close(connection);
        return;
    }
    connection.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(chosen.delayMs);
    connection.answer = std::move(chosen);
}

void LoopbackServer::answer(Connection &connection)
{
    const std::string &raw = connection.answer->raw;
    if (connection.answer->dripMs > 0) {
        // The head at once, then the body a byte at a time.
        const std::size_t piece = connection.dripped == 0 ? raw.find("\r\n\r\n") + 4 : 1;
        if (connection.dripped < raw.size() &&
            send(connection.socket, raw.data() + connection.dripped, int(piece), 0) <= 0)
            close(connection);
        connection.dripped += piece;
        connection.due += std::chrono::milliseconds(connection.answer->dripMs);
        return;
    }
    std::size_t sent = 0;
    while (sent < raw.size()) {
        const int piece = int(std::min<std::size_t>(raw.size() - sent, 64 * 1024));
        const int done = send(connection.socket, raw.data() + sent, piece, 0);
        if (done <= 0)
            break; // the client gave up on a long answer
        sent += std::size_t(done);
    }
    shutdown(connection.socket, SD_SEND);
    close(connection);
}

void LoopbackServer::close(Connection &connection)
{
    if (connection.socket != INVALID_SOCKET)
        closesocket(connection.socket);
    connection.socket = INVALID_SOCKET;
}
