#include "LoopbackServer.h"
#include "ParamName.h"
#include "base/CoreLog.h"
#include "update/HttpAnswer.h"
#include "update/UpdateUrl.h"
#include "win32/update/WinInetRequestChannel.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// "good 192.0.2.1\n", gzip-coded and as raw deflate.
const unsigned char GzipGood[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02,
                                  0x03, 0x4b, 0xcf, 0xcf, 0x4f, 0x51, 0x30, 0xb4, 0x34,
                                  0xd2, 0x33, 0xd0, 0x33, 0xd2, 0x33, 0xe4, 0x02, 0x00,
                                  0xe0, 0x0f, 0xd5, 0x39, 0x0f, 0x00, 0x00, 0x00};
const unsigned char DeflateGood[] = {0x4b, 0xcf, 0xcf, 0x4f, 0x51, 0x30, 0xb4, 0x34, 0xd2,
                                     0x33, 0xd0, 0x33, 0xd2, 0x33, 0xe4, 0x02, 0x00};

template <std::size_t N> std::string bytes(const unsigned char (&data)[N])
{
    return std::string(reinterpret_cast<const char *>(data), N);
}

std::uint32_t crc32(const std::string &data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendLittleEndian(std::string &out, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

// Bits of a deflate stream, least significant first.
struct BitWriter
{
    std::string out;
    int used = 0;
    void put(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (used == 0)
                out += '\0';
            out.back() = char(out.back() | (((value >> i) & 1u) << used));
            used = (used + 1) % 8;
        }
    }
    // A Huffman code goes out from its most significant bit.
    void code(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            put((value >> i) & 1u, 1);
    }
};

// 1 + 258 * repeats times 'x' as gzip: one fixed-Huffman block of one literal
// and back-references of 258 bytes, a few kilobytes that unpack past the limit.
std::string packedRun(int repeats)
{
    BitWriter bits;
    bits.put(1, 1); // the last block
    bits.put(1, 2); // fixed codes
    bits.code(0x30 + 'x', 8);
    for (int i = 0; i < repeats; ++i) {
        bits.code(0xC5, 8); // length 258
        bits.code(0, 5);    // distance 1
    }
    bits.code(0, 7); // end of block
    const std::string text(std::size_t(1 + 258 * repeats), 'x');
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out += bits.out;
    appendLittleEndian(out, crc32(text), 4);
    appendLittleEndian(out, std::uint32_t(text.size()), 4);
    return out;
}

std::vector<std::string> logLines;

void recordLine(CoreLog::Area area, CoreLog::Level, const std::string &message)
{
    if (area == CoreLog::Area::Update)
        logLines.push_back(message);
}

// Runs the thread's messages until done() holds or timeoutMs passed.
bool pumpUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

// What one channel handed out, and how.
struct Recorder
{
    explicit Recorder(WinInetRequestChannel &channel)
    {
        channel.setFinishedHandler([this, &channel](const RequestOutcome &outcome) {
            if (outcome.answerText)
                pages.push_back(*outcome.answerText), order += 'p';
            outcomes.push_back(outcome);
            busyInHandler.push_back(channel.busy());
            threads.push_back(GetCurrentThreadId());
            order += 'o';
        });
    }
    bool waitForOutcome(int timeoutMs = 10000)
    {
        return pumpUntil([this] { return !outcomes.empty(); }, timeoutMs);
    }

    std::vector<RequestOutcome> outcomes;
    std::vector<std::string> pages;
    std::vector<bool> busyInHandler;
    std::vector<DWORD> threads;
    std::string order;
};

class WinInetRequestChannelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        logLines.clear();
        CoreLog::setSink(&recordLine);
        ASSERT_TRUE(server.listen());
    }
    void TearDown() override { CoreLog::setSink(nullptr); }

    std::string origin() const { return server.url(""); }

    LoopbackServer server;
};

// One answer of the server and how the fetch is to end.
struct AnswerCase
{
    std::string name;
    LoopbackServer::Answer answer;
    bool succeeded;
    int status;
    std::string reason;
    bool paged;       // a complete answer reaches the answer area
    std::string page; // its text
    std::string log;  // the outcome's line after "request to <origin> "
};

class AnswerTest : public WinInetRequestChannelTest, public testing::WithParamInterface<AnswerCase>
{
};

TEST_P(AnswerTest, outcomePageAndLogLine)
{
    const AnswerCase &row = GetParam();
    server.setDefaultAnswer(row.answer);

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    channel.navigate(server.url("/k"));
    EXPECT_TRUE(channel.busy());
    ASSERT_TRUE(recorder.waitForOutcome());
    pumpFor(50);

    ASSERT_EQ(recorder.outcomes.size(), 1u);
    const RequestOutcome &outcome = recorder.outcomes.front();
    EXPECT_EQ(outcome.succeeded(), row.succeeded);
    EXPECT_EQ(outcome.httpStatus, row.status);
    EXPECT_EQ(outcome.logText(), row.reason);
    EXPECT_FALSE(channel.busy());
    EXPECT_EQ(recorder.busyInHandler, std::vector<bool>{false});
    EXPECT_EQ(recorder.threads, std::vector<DWORD>{GetCurrentThreadId()});
    if (row.paged) {
        EXPECT_EQ(recorder.order, "po"); // the answer is shown before the outcome
        ASSERT_EQ(recorder.pages.size(), 1u);
        EXPECT_EQ(recorder.pages.front(), row.page);
    } else {
        EXPECT_EQ(recorder.order, "o");
    }
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_EQ(logLines[0], "request to " + origin());
    EXPECT_EQ(logLines[1], "request to " + origin() + " " + row.log);
}

LoopbackServer::Answer withHeaders(int status, const std::string &body, const std::string &headers,
                                   bool withLength = true)
{
    return LoopbackServer::reply(status, body, headers, withLength);
}

// An interim answer ("<status> <text>\r\n" and fields) before answer.
LoopbackServer::Answer afterInterim(const std::string &interim, LoopbackServer::Answer answer)
{
    answer.raw = "HTTP/1.1 " + interim + "\r\n" + answer.raw;
    return answer;
}

const std::size_t Limit = HttpFetch::MaxAnswerBytes;

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerTest,
    testing::Values(
        AnswerCase{"continue first",
                   afterInterim("100 Continue\r\n", LoopbackServer::reply(200, "good")), true, 200,
                   "", true, "good", "succeeded: HTTP 200, answer \"good\""},
        AnswerCase{"refusal after early hints",
                   afterInterim("103 Early Hints\r\n", LoopbackServer::reply(200, "nohost")), false,
                   200, "refused by the service (\"nohost\")", true, "nohost",
                   "failed: HTTP 200, answer \"nohost\""},
        AnswerCase{"good", LoopbackServer::reply(200, "good"), true, 200, "", true, "good",
                   "succeeded: HTTP 200, answer \"good\""},
        AnswerCase{"server error", LoopbackServer::reply(500, "broken"), false, 500, "HTTP 500",
                   true, "broken", "failed: HTTP 500, answer \"broken\""},
        AnswerCase{"gzip", withHeaders(200, bytes(GzipGood), "Content-Encoding: gzip\r\n"), true,
                   200, "", true, "good 192.0.2.1\n", "succeeded: HTTP 200, answer \"good\""},
        AnswerCase{"unknown coding", withHeaders(200, "good", "Content-Encoding: br\r\n"), false, 0,
                   "answer in an unsupported coding", false, "",
                   "failed: answer in an unsupported coding"},
        AnswerCase{"at the limit, only the beginning shown",
                   LoopbackServer::reply(200, std::string(Limit, 'x')), true, 200, "", true,
                   std::string(HttpAnswer::MaxShownChars, 'x'),
                   "succeeded: HTTP 200, answer not shown"},
        AnswerCase{"one byte over, undeclared",
                   withHeaders(200, std::string(Limit + 1, 'x'), "", false), false, 0,
                   "answer too large", false, "", "failed: answer too large"},
        AnswerCase{"over the limit once unpacked",
                   withHeaders(200, packedRun(4065), "Content-Encoding: gzip\r\n"), false, 0,
                   "answer too large", false, "", "failed: answer too large"},
        AnswerCase{"cut short", withHeaders(200, "short", "Content-Length: 100\r\n", false), false,
                   0, "answer cut short", false, "", "failed: answer cut short"},
        // What a hostile or broken server may send instead of an answer.
        AnswerCase{"gzip cut short",
                   withHeaders(200, bytes(GzipGood).substr(0, 20), "Content-Encoding: gzip\r\n"),
                   false, 0, "compressed answer damaged", false, "",
                   "failed: compressed answer damaged"},
        AnswerCase{"http/2 status line",
                   {"HTTP/2 200\r\nContent-Length: 4\r\n\r\ngood"},
                   false,
                   0,
                   "invalid answer from the server",
                   false,
                   "",
                   "failed: invalid answer from the server"}),
    paramName<AnswerCase>);

// Fetches that end without an answer.
struct TransportCase
{
    std::string name;
    std::string situation; // "refused", "hang up", "silent", "switch", "interim only"
    std::string reason;
};

class TransportTest : public WinInetRequestChannelTest,
                      public testing::WithParamInterface<TransportCase>
{
};

TEST_P(TransportTest, failsCalmlyWithItsReason)
{
    const TransportCase &row = GetParam();
    std::string url = server.url("/k");
    LoopbackServer::Answer answer;
    if (row.situation == "refused")
        url = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/k";
    else if (row.situation == "hang up")
        answer.hangUp = true;
    else if (row.situation == "silent")
        answer.silent = true;
    else if (row.situation == "switch")
        answer.raw = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\n";
    else
        answer.raw = "HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n";
    server.setDefaultAnswer(answer);

    WinInetRequestChannel channel;
    channel.setTransferTimeout(300);
    Recorder recorder(channel);
    const auto start = std::chrono::steady_clock::now();
    channel.navigate(url);
    EXPECT_TRUE(recorder.outcomes.empty()); // never from within navigate()
    ASSERT_TRUE(recorder.waitForOutcome());
    const auto took = std::chrono::steady_clock::now() - start;
    pumpFor(50);

    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_FALSE(recorder.outcomes[0].succeeded());
    EXPECT_EQ(recorder.outcomes[0].httpStatus, 0);
    EXPECT_EQ(recorder.outcomes[0].logText(), row.reason);
    EXPECT_TRUE(recorder.pages.empty());
    EXPECT_FALSE(channel.busy());
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.back(), "request to " + UpdateUrl::redacted(UpdateUrl::toRequestUrl(url)) +
                                   " failed: " + row.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Transport, TransportTest,
    testing::Values(TransportCase{"connection refused", "refused", "connection refused"},
                    TransportCase{"server hangs up", "hang up", "connection closed by the server"},
                    TransportCase{"no answer in time", "silent", "no answer within 0.3 s"},
                    TransportCase{"interim answer only", "interim only", "answer cut short"},
                    TransportCase{"protocol switch", "switch", "invalid answer from the server"}),
    paramName<TransportCase>);

// A chain of redirects from /r0: each hop's Location, then the last answer.
struct RedirectCase
{
    std::string name;
    std::vector<std::string> locations; // %O stands for the server's origin
    int status;                         // of every redirect
    std::string reason;                 // empty: "arrived" is the answer
    std::vector<std::string> targets;   // as the server saw them
};

class RedirectTest : public WinInetRequestChannelTest,
                     public testing::WithParamInterface<RedirectCase>
{
};

TEST_P(RedirectTest, followedWithinTheRules)
{
    const RedirectCase &row = GetParam();
    std::string path = "/r0";
    const std::string origin = server.url("");
    for (std::string location : row.locations) {
        const std::size_t mark = location.find("%O");
        if (mark != std::string::npos)
            location.replace(mark, 2, origin);
        server.setAnswer(path, LoopbackServer::redirect(location, row.status));
        // The next hop's target; a relative one is the last of its chain.
        path = location.compare(0, origin.size(), origin) == 0 ? location.substr(origin.size())
                                                               : location;
    }
    server.setDefaultAnswer(LoopbackServer::reply(200, "arrived"));

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    channel.navigate(server.url("/r0"));
    ASSERT_TRUE(recorder.waitForOutcome());
    pumpFor(50);

    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_EQ(server.requestLines().size(), row.targets.size());
    std::vector<std::string> targets;
    for (const std::string &line : server.requestLines())
        targets.push_back(line.substr(4, line.rfind(' ') - 4));
    EXPECT_EQ(targets, row.targets);
    if (row.reason.empty()) {
        EXPECT_TRUE(recorder.outcomes[0].succeeded());
        EXPECT_EQ(recorder.outcomes[0].httpStatus, 200);
        EXPECT_EQ(recorder.pages, std::vector<std::string>{"arrived"});
    } else {
        EXPECT_FALSE(recorder.outcomes[0].succeeded());
        EXPECT_EQ(recorder.outcomes[0].httpStatus, 0);
        EXPECT_EQ(recorder.outcomes[0].logText(), row.reason);
        EXPECT_TRUE(recorder.pages.empty());
    }
    // One line per redirect taken, between the request's and the outcome's.
    std::size_t redirected = 0;
    for (const std::string &line : logLines)
        redirected += line == "redirected to " + origin;
    EXPECT_EQ(redirected, row.targets.size() - 1);
    EXPECT_EQ(logLines.size(), row.targets.size() + 1);
}

std::vector<std::string> hops(int count)
{
    std::vector<std::string> locations;
    for (int i = 1; i <= count; ++i)
        locations.push_back("/r" + std::to_string(i));
    return locations;
}

std::vector<std::string> targetsOf(int count)
{
    std::vector<std::string> targets{"/r0"};
    for (const std::string &location : hops(count))
        targets.push_back(location);
    return targets;
}

INSTANTIATE_TEST_SUITE_P(
    Redirects, RedirectTest,
    testing::Values(
        RedirectCase{"302 chain", {"/middle", "%O/final"}, 302, "", {"/r0", "/middle", "/final"}},
        RedirectCase{"one too many", hops(int(HttpFetch::MaxRedirects) + 1), 302,
                     "too many redirects", targetsOf(int(HttpFetch::MaxRedirects))},
        RedirectCase{
            "to a mail address", {"mailto:a@b.example"}, 301, "unsupported protocol", {"/r0"}}),
    paramName<RedirectCase>);

// The request line names the URL's own target and nothing else.
struct RequestLineCase
{
    std::string name;
    std::string url; // %O stands for the server's origin, %A for its host and port
    std::string target;
};

class RequestLineTest : public WinInetRequestChannelTest,
                        public testing::WithParamInterface<RequestLineCase>
{
};

TEST_P(RequestLineTest, namesOnlyTheTarget)
{
    const RequestLineCase &row = GetParam();
    std::string url = row.url;
    const std::size_t mark = url.find('%');
    url.replace(mark, 2, url[mark + 1] == 'O' ? server.url("") : server.url("").substr(7));

    WinInetRequestChannel channel;
    channel.setTheaterMode(true); // changes nothing
    Recorder recorder(channel);
    channel.navigate(url);
    ASSERT_TRUE(recorder.waitForOutcome());
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_TRUE(recorder.outcomes[0].succeeded());

    const std::vector<std::string> heads = server.requestHeads();
    ASSERT_EQ(heads.size(), 1u);
    const std::string &head = heads[0];
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET " + row.target + " HTTP/1.1");
    std::string lowered = head;
    for (char &c : lowered)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(lowered.find("\r\nhost: 127.0.0.1:" + std::to_string(server.port())),
              std::string::npos);
    EXPECT_NE(lowered.find("\r\naccept-encoding: gzip, deflate"), std::string::npos);
    EXPECT_NE(lowered.find("\r\nconnection: close"), std::string::npos);
    EXPECT_NE(lowered.find("\r\nuser-agent: tavrinconnector/"), std::string::npos);
    const std::string fields = lowered.substr(lowered.find("\r\n"));
    for (const char *never : {"authorization:", "cookie:", "x-injected", "s3cret", "frag"})
        EXPECT_EQ(fields.find(never), std::string::npos) << never << " in\n" << head;
}

INSTANTIATE_TEST_SUITE_P(
    RequestLines, RequestLineTest,
    testing::Values(
        RequestLineCase{"plain", "%O/abc123", "/abc123"},
        RequestLineCase{"spaces", "%O/my key/with parts", "/my%20key/with%20parts"},
        RequestLineCase{"query", "%O/nic/update?hostname=h&pw=p", "/nic/update?hostname=h&pw=p"},
        RequestLineCase{"header injection", "%O/k\r\nX-Injected: 1", "/k%0D%0AX-Injected:%201"},
        RequestLineCase{"non-ASCII", "%O/gr\xC3\xBC\xC3\x9F", "/gr%C3%BC%C3%9F"},
        RequestLineCase{"fragment", "%O/k#frag", "/k"},
        RequestLineCase{"user info", "http://user:S3cret@%A/k", "/k"},
        RequestLineCase{"empty path", "%O", "/"}),
    paramName<RequestLineCase>);

// URLs that are never requested: one log line, no outcome, nothing sent.
struct RefusedUrlCase
{
    std::string name;
    std::string url; // %P stands for the server's port
    std::string log;
};

class RefusedUrlTest : public WinInetRequestChannelTest,
                       public testing::WithParamInterface<RefusedUrlCase>
{
};

TEST_P(RefusedUrlTest, sendsNothing)
{
    const RefusedUrlCase &row = GetParam();
    std::string url = row.url;
    const std::size_t port = url.find("%P");
    if (port != std::string::npos)
        url.replace(port, 2, std::to_string(server.port()));

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    channel.navigate(url);
    EXPECT_FALSE(channel.busy());
    pumpFor(200);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_TRUE(recorder.outcomes.empty());
    EXPECT_TRUE(recorder.pages.empty());
    EXPECT_EQ(logLines, std::vector<std::string>{row.log});
}

const char NotAUrl[] = "update URL refused: not an http or https URL with a host";

INSTANTIATE_TEST_SUITE_P(
    RefusedUrls, RefusedUrlTest,
    testing::Values(RefusedUrlCase{"empty", "", "no update URL set; nothing requested"},
                    RefusedUrlCase{"prose", "not a url", NotAUrl},
                    RefusedUrlCase{"no host", "http:///k", NotAUrl},
                    RefusedUrlCase{"ftp to the server", "ftp://127.0.0.1:%P/k", NotAUrl},
                    RefusedUrlCase{"no scheme", "127.0.0.1:%P/k", NotAUrl},
                    RefusedUrlCase{"file", "file:///c:/windows/win.ini", NotAUrl}),
    paramName<RefusedUrlCase>);

TEST_F(WinInetRequestChannelTest, stopAbandonsTheFetchForGood)
{
    LoopbackServer::Answer late = LoopbackServer::reply(200, "late");
    late.delayMs = 300;
    server.setDefaultAnswer(late);

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    EXPECT_FALSE(channel.busy());
    channel.navigate(server.url("/k"));
    EXPECT_TRUE(channel.busy());
    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }));
    EXPECT_TRUE(channel.busy());
    channel.stop();
    EXPECT_FALSE(channel.busy());
    channel.stop(); // nothing left to stop

    pumpFor(800); // past the server's late answer
    EXPECT_TRUE(recorder.outcomes.empty());
    EXPECT_TRUE(recorder.pages.empty());
    EXPECT_EQ(logLines, (std::vector<std::string>{"request to " + origin(),
                                                  "request to " + origin() + " stopped"}));
}

TEST_F(WinInetRequestChannelTest, secondNavigateAbandonsTheFirst)
{
    LoopbackServer::Answer late = LoopbackServer::reply(200, "first");
    late.delayMs = 300;
    server.setAnswer("/first", late);
    server.setAnswer("/second", LoopbackServer::reply(500, "second"));

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    channel.navigate(server.url("/first"));
    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }));
    channel.navigate(server.url("/second"));
    EXPECT_TRUE(channel.busy());
    ASSERT_TRUE(recorder.waitForOutcome());
    pumpFor(800);

    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_EQ(recorder.outcomes[0].httpStatus, 500);
    EXPECT_EQ(recorder.pages, std::vector<std::string>{"second"});
    ASSERT_GE(logLines.size(), 2u);
    EXPECT_EQ(logLines[1], "request to " + origin() + " abandoned for a new one");
}

TEST_F(WinInetRequestChannelTest, deadlineAbandonsASlowAnswer)
{
    LoopbackServer::Answer late = LoopbackServer::reply(200, "late");
    late.delayMs = 600;
    server.setDefaultAnswer(late);

    WinInetRequestChannel channel;
    channel.setTransferTimeout(200);
    Recorder recorder(channel);
    channel.navigate(server.url("/k"));
    ASSERT_TRUE(recorder.waitForOutcome());
    pumpFor(800);
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_EQ(recorder.outcomes[0].logText(), "no answer within 0.2 s");
    EXPECT_TRUE(recorder.pages.empty());
}

TEST_F(WinInetRequestChannelTest, navigateFromTheHandlerStartsTheNextFetch)
{
    server.setAnswer("/again", LoopbackServer::reply(200, "second"));
    WinInetRequestChannel channel;
    Recorder recorder(channel);
    channel.setFinishedHandler([&](const RequestOutcome &outcome) {
        recorder.outcomes.push_back(outcome);
        recorder.pages.push_back(outcome.answerText.value_or(""));
        if (recorder.outcomes.size() == 1)
            channel.navigate(server.url("/again"));
    });
    channel.navigate(server.url("/k"));
    ASSERT_TRUE(pumpUntil([&] { return recorder.outcomes.size() == 2; }));
    EXPECT_FALSE(channel.busy());
    EXPECT_EQ(recorder.pages, (std::vector<std::string>{"good", "second"}));
}

TEST_F(WinInetRequestChannelTest, destroyingABusyChannelReportsNothing)
{
    LoopbackServer::Answer late = LoopbackServer::reply(200, "late");
    late.delayMs = 300;
    server.setDefaultAnswer(late);

    int reported = 0;
    auto channel = std::make_unique<WinInetRequestChannel>();
    channel->setFinishedHandler([&](const RequestOutcome &) { ++reported; });
    channel->navigate(server.url("/k"));
    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }));
    channel.reset();
    pumpFor(800);
    EXPECT_EQ(reported, 0);
}

// A byte a second never ends the answer: the deadline does, and the worker goes with it.
TEST_F(WinInetRequestChannelTest, dripEndsAtTheDeadlineWithItsWorker)
{
    LoopbackServer::Answer drip = LoopbackServer::reply(200, std::string(100, 'x'));
    drip.dripMs = 1000;
    server.setDefaultAnswer(drip);
    WinInetRequestChannel channel;
    channel.setTransferTimeout(1500);
    Recorder recorder(channel);
    channel.navigate(server.url("/k"));
    ASSERT_TRUE(recorder.waitForOutcome());
    EXPECT_EQ(recorder.outcomes[0].failure, RequestOutcome::Failure::Deadline);
    EXPECT_TRUE(pumpUntil([] { return WinInetRequestChannel::runningWorkers() == 0; }, 2500));
}

TEST_F(WinInetRequestChannelTest, logAndReasonsNeverHoldTheKey)
{
    const std::string key = "S3cretKey";
    server.setAnswer("/ok/" + key, LoopbackServer::reply(200, "good"));
    server.setAnswer("/err/" + key, LoopbackServer::reply(500, "broken " + key));
    server.setAnswer("/echo?pw=" + key, LoopbackServer::reply(200, key + " nochg"));
    server.setAnswer("/hop/" + key, LoopbackServer::redirect("/ok/" + key));
    server.setAnswer("/ftp/" + key, LoopbackServer::redirect("ftp://127.0.0.1/" + key));
    LoopbackServer::Answer cut;
    cut.hangUp = true;
    server.setAnswer("/cut/" + key, cut);

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    for (const std::string path : {"/ok/", "/err/", "/echo?pw=", "/hop/", "/ftp/", "/cut/"}) {
        const std::size_t before = recorder.outcomes.size();
        channel.navigate(server.url(path + key));
        ASSERT_TRUE(pumpUntil([&] { return recorder.outcomes.size() == before + 1; })) << path;
    }
    channel.navigate("garbage " + key);
    channel.navigate(server.url("/ok/" + key).replace(0, 4, "ftp"));

    EXPECT_GE(logLines.size(), 14u);
    for (const std::string &line : logLines)
        EXPECT_EQ(line.find(key), std::string::npos) << line;
    for (const RequestOutcome &outcome : recorder.outcomes)
        EXPECT_EQ(outcome.logText().find(key), std::string::npos) << outcome.logText();
}

} // namespace

namespace {

using SystemProxyTest = WinInetRequestChannelTest;

// The proxy named in the environment stands for the system's: the server
// plays it and sees the whole URL on the request line. WinINet reads the
// proxy settings once per process, so this case runs in a process of its own.
TEST_F(SystemProxyTest, requestGoesThroughTheProxy)
{
    const std::wstring proxy = L"http://127.0.0.1:" + std::to_wstring(server.port());
    SetEnvironmentVariableW(L"http_proxy", proxy.c_str());
    _wputenv_s(L"http_proxy", proxy.c_str());

    WinInetRequestChannel channel;
    Recorder recorder(channel);
    channel.navigate("http://update.invalid/my key");
    const bool finished = recorder.waitForOutcome();
    SetEnvironmentVariableW(L"http_proxy", nullptr);
    _wputenv_s(L"http_proxy", L"");
    ASSERT_TRUE(finished);

    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_TRUE(recorder.outcomes[0].succeeded());
    // The absolute form, with or without the default port.
    const std::vector<std::string> lines = server.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0] == "GET http://update.invalid/my%20key HTTP/1.1" ||
                lines[0] == "GET http://update.invalid:80/my%20key HTTP/1.1")
        << lines[0];
}

} // namespace
