#ifndef TAVRIN_TESTS_WIN32_LOOPBACKSERVER_H
#define TAVRIN_TESTS_WIN32_LOOPBACKSERVER_H

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A small HTTP server on 127.0.0.1 for the Windows tests, on a thread of its
// own. It records every request head it reads and answers it with the answer
// set for its target (exactly as on the request line), else the default
// answer, else a plain "good". Answers are scripted bytes; the connection
// closes after each.
class LoopbackServer
{
public:
    struct Answer
    {
        std::string raw;     // sent as it is
        int delayMs = 0;     // before it is sent
        bool silent = false; // never answer, keep the connection open
        bool hangUp = false; // close as soon as the request is read
        int dripMs = 0;      // sends raw's head, then a byte this far apart, and never ends
    };

    // "HTTP/1.1 <status>" with the body, its Content-Length (unless omitted)
    // and Connection: close; extraHeaders are whole lines ending in CRLF.
    static Answer reply(int status, const std::string &body,
                        const std::string &extraHeaders = "Content-Type: text/plain\r\n",
                        bool withLength = true);
    static Answer redirect(const std::string &location, int status = 302);

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    // Listens at a free port. False if that failed.
    bool listen();
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string &path = "/") const;

    void setAnswer(const std::string &target, const Answer &answer);
    void setDefaultAnswer(const Answer &answer);

    // The request line of each request read, in order.
    std::vector<std::string> requestLines() const;
    // Each request's head: the request line and the header lines.
    std::vector<std::string> requestHeads() const;
    int requestCount() const;
    // Connections the client closed before their answer went out.
    int hangUps() const;

    // A port on 127.0.0.1 nobody listens on (just given up by a socket).
    static int closedPort();

private:
    struct Connection
    {
        SOCKET socket = INVALID_SOCKET;
        std::string buffer;
        bool requestRead = false;
        std::optional<Answer> answer;
        std::chrono::steady_clock::time_point due;
        std::size_t dripped = 0;
    };

    void serve();
    void readFrom(Connection &connection);
    void answer(Connection &connection);
    static void close(Connection &connection);

    bool m_started = false;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<Connection> m_connections; // the server thread's alone

    mutable std::mutex m_lock;
    std::map<std::string, Answer> m_answers;
    std::optional<Answer> m_defaultAnswer;
    std::vector<std::string> m_heads;
    int m_hangUps = 0;
};

#endif
