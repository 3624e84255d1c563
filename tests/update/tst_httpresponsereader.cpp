#include "update/HttpRequestText.h"
#include "update/HttpResponseReader.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

namespace {

using State = HttpResponseReader::State;
using Failure = HttpResponseReader::Failure;

struct Case
{
    const char *name;
    std::string bytes;
    bool closed; // the connection ends after the bytes
    State state;
    Failure failure;
    int status;       // checked when Complete
    std::string body; // checked when Complete
};

std::ostream &operator<<(std::ostream &out, const Case &c)
{
    return out << c.name;
}

struct Result
{
    State state;
    Failure failure;
    int status;
    std::string body;
};

// Feeds the bytes in pieces of at most step bytes (0: all at once).
Result readAll(const std::string &bytes, bool closed, std::size_t step,
               std::size_t maxBody = HttpResponseReader::DefaultMaxBodyBytes)
{
    HttpResponseReader reader(maxBody);
    std::string body;
    const std::size_t piece = step == 0 ? bytes.size() + 1 : step;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.feed(std::string_view(bytes).substr(at, piece));
        body += reader.takeBody();
    }
    if (closed)
        reader.finish();
    body += reader.takeBody();
    return {reader.state(), reader.failure(), reader.status(), body};
}

const std::string Ok = "HTTP/1.1 200 OK\r\n";

class ReaderTest : public testing::TestWithParam<Case>
{
};

TEST_P(ReaderTest, WholeAndByteByByteAgree)
{
    const Case &c = GetParam();
    for (std::size_t step : {std::size_t(0), std::size_t(1), std::size_t(7)}) {
        SCOPED_TRACE("step " + std::to_string(step));
        const Result r = readAll(c.bytes, c.closed, step);
        EXPECT_EQ(r.state, c.state);
        EXPECT_EQ(r.failure, c.failure);
        if (c.state == State::Complete) {
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.body, c.body);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Framing, ReaderTest,
    testing::Values(
        Case{"content length", Ok + "Content-Length: 4\r\n\r\ngood", false, State::Complete,
             Failure::None, 200, "good"},
        Case{"bytes after the length are ignored", Ok + "Content-Length: 4\r\n\r\ngoodMORE", false,
             State::Complete, Failure::None, 200, "good"},
        Case{"zero length", Ok + "Content-Length: 0\r\n\r\n", false, State::Complete, Failure::None,
             200, ""},
        Case{"equal duplicate lengths", Ok + "Content-Length: 2\r\nContent-Length: 2, 2\r\n\r\nok",
             false, State::Complete, Failure::None, 200, "ok"},
        Case{"until close", Ok + "\r\nnochg", true, State::Complete, Failure::None, 200, "nochg"},
        Case{"until close, still open", Ok + "\r\nnochg", false, State::NeedMore, Failure::None, 0,
             ""},
        Case{"chunked with extension and trailer",
             Ok + "Transfer-Encoding: chunked\r\n\r\n4;x=y\r\ngood\r\nA \r\n 127.0.0.1\r\n0\r\n"
                  "X-Trailer: 1\r\n\r\n",
             false, State::Complete, Failure::None, 200, "good 127.0.0.1"},
        Case{"chunked wins over a length",
             Ok + "Content-Length: 99\r\nTransfer-Encoding: Chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
             false, State::Complete, Failure::None, 200, "ok"},
        Case{"bare LF line ends in the head", "HTTP/1.0 404 Not Found\nContent-Length: 1\n\nx",
             false, State::Complete, Failure::None, 404, "x"},
        Case{"no reason phrase", "HTTP/1.1 500\r\nContent-Length: 0\r\n\r\n", false,
             State::Complete, Failure::None, 500, ""},
        Case{"204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", false, State::Complete,
             Failure::None, 204, ""},
        Case{"304 has no body despite a length",
             "HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", false, State::Complete,
             Failure::None, 304, ""}),
    paramName<Case>);

INSTANTIATE_TEST_SUITE_P(
    Interim, ReaderTest,
    testing::Values(Case{"103 then 500",
                         "HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\nHTTP/1.1 500 Oops\r\n"
                         "Content-Length: 7\r\n\r\nbadauth",
                         false, State::Complete, Failure::None, 500, "badauth"},
                    Case{"100 and 102 then 200",
                         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" + Ok +
                             "Content-Length: 4\r\n\r\ngood",
                         false, State::Complete, Failure::None, 200, "good"},
                    Case{"eight interim answers are fine",
                         [] {
                             std::string s;
                             for (int i = 0; i < 8; ++i)
                                 s += "HTTP/1.1 103 Early Hints\r\n\r\n";
                             return s + Ok + "Content-Length: 0\r\n\r\n";
                         }(),
                         false, State::Complete, Failure::None, 200, ""},
                    Case{"nine are too many",
                         [] {
                             std::string s;
                             for (int i = 0; i < 9; ++i)
                                 s += "HTTP/1.1 103 Early Hints\r\n\r\n";
                             return s + Ok + "Content-Length: 0\r\n\r\n";
                         }(),
                         false, State::Failed, Failure::TooManyInterim, 0, ""},
                    Case{"101 fails", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\n",
                         false, State::Failed, Failure::ProtocolSwitch, 0, ""},
                    Case{"only an interim answer, then close", "HTTP/1.1 103 Early Hints\r\n\r\n",
                         true, State::Failed, Failure::CutShort, 0, ""}),
    paramName<Case>);

INSTANTIATE_TEST_SUITE_P(
    Malformed, ReaderTest,
    testing::Values(
        Case{"garbage", std::string("\x16\x03\x01\x00\xff garbage", 14), false, State::Failed,
             Failure::NotHttp, 0, ""},
        Case{"lower-case protocol", "http/1.1 200 OK\r\n\r\n", false, State::Failed,
             Failure::NotHttp, 0, ""},
        Case{"HTTP/2 status line", "HTTP/2 200\r\n\r\n", false, State::Failed, Failure::Malformed,
             0, ""},
        Case{"two-digit status", "HTTP/1.1 20 OK\r\n\r\n", false, State::Failed, Failure::Malformed,
             0, ""},
        Case{"status 600", "HTTP/1.1 600 What\r\n\r\n", false, State::Failed, Failure::Malformed, 0,
             ""},
        Case{"folded header line", Ok + "X-A: 1\r\n continued\r\n\r\n", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"blank before the colon", Ok + "Content-Length : 1\r\n\r\nx", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"header without colon", Ok + "Nonsense\r\n\r\n", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"CR inside a value", Ok + "X-A: a\rb\r\n\r\n", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"signed length", Ok + "Content-Length: +4\r\n\r\ngood", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"hexadecimal length", Ok + "Content-Length: 0x4\r\n\r\ngood", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"empty length", Ok + "Content-Length:\r\n\r\n", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"conflicting lengths", Ok + "Content-Length: 4\r\nContent-Length: 5\r\n\r\ngood",
             false, State::Failed, Failure::Malformed, 0, ""},
        Case{"conflicting list", Ok + "Content-Length: 4, 5\r\n\r\ngood", false, State::Failed,
             Failure::Malformed, 0, ""},
        Case{"gzip transfer coding", Ok + "Transfer-Encoding: gzip, chunked\r\n\r\n", false,
             State::Failed, Failure::UnsupportedCoding, 0, ""},
        Case{"chunked twice",
             Ok + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n", false,
             State::Failed, Failure::UnsupportedCoding, 0, ""},
        Case{"chunk size not hex", Ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", false,
             State::Failed, Failure::Malformed, 0, ""},
        Case{"chunk size empty", Ok + "Transfer-Encoding: chunked\r\n\r\n\r\n", false,
             State::Failed, Failure::Malformed, 0, ""},
        Case{"chunk size of 17 digits",
             Ok + "Transfer-Encoding: chunked\r\n\r\n00000000000000001\r\nx\r\n0\r\n\r\n", false,
             State::Failed, Failure::Malformed, 0, ""},
        Case{"no CRLF after a chunk", Ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nokX\r\n", false,
             State::Failed, Failure::Malformed, 0, ""}),
    paramName<Case>);

INSTANTIATE_TEST_SUITE_P(
    CutShort, ReaderTest,
    testing::Values(
        Case{"nothing at all", "", true, State::Failed, Failure::NoAnswer, 0, ""},
        Case{"half a status line", "HTTP/1.1 2", true, State::Failed, Failure::CutShort, 0, ""},
        Case{"head without its end", Ok + "Content-Length: 4\r\n", true, State::Failed,
             Failure::CutShort, 0, ""},
        Case{"short body", Ok + "Content-Length: 100\r\n\r\nshort", true, State::Failed,
             Failure::CutShort, 0, ""},
        Case{"chunk cut short",
             Ok + "Transfer-Encoding: chunked\r\n\r\n4\r\ngood\r\n1000\r\npart of the chunk", true,
             State::Failed, Failure::CutShort, 0, ""},
        Case{"no last chunk", Ok + "Transfer-Encoding: chunked\r\n\r\n4\r\ngood\r\n", true,
             State::Failed, Failure::CutShort, 0, ""},
        Case{"trailers without their end", Ok + "Transfer-Encoding: chunked\r\n\r\n0\r\nX-T: 1\r\n",
             true, State::Failed, Failure::CutShort, 0, ""},
        // The size is checked before it is used.
        Case{"largest chunk size",
             Ok + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\nmore bytes", true,
             State::Failed, Failure::TooLarge, 0, ""}),
    paramName<Case>);

// Limits, each just inside and just past.
struct Limit
{
    const char *name;
    std::string bytes;
    std::size_t maxBody;
    bool accepted;
    Failure failure;
};

std::ostream &operator<<(std::ostream &out, const Limit &l)
{
    return out << l.name;
}

std::string limitName(const testing::TestParamInfo<Limit> &info)
{
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

std::string headerLine(std::size_t length)
{
    return "X-F: " + std::string(length - 5, 'h') + "\r\n";
}

std::string fields(std::size_t count)
{
    std::string s;
    for (std::size_t i = 0; i < count; ++i)
        s += "X-" + std::to_string(i) + ": v\r\n";
    return s;
}

// Header lines of 1,000 bytes up to about total bytes of head.
std::string headOf(std::size_t total)
{
    std::string head = Ok;
    while (head.size() + 1002 + 2 <= total)
        head += headerLine(1000);
    head += headerLine(total - head.size() - 4); // the rest, so that head + CRLF is total
    return head;
}

class LimitTest : public testing::TestWithParam<Limit>
{
};

TEST_P(LimitTest, HoldsAtItsBound)
{
    const Limit &l = GetParam();
    const Result r = readAll(l.bytes, true, 0, l.maxBody);
    if (l.accepted) {
        EXPECT_EQ(r.state, State::Complete);
    } else {
        EXPECT_EQ(r.state, State::Failed);
        EXPECT_EQ(r.failure, l.failure);
    }
}

constexpr std::size_t Cap = 10;
const std::string Chunked = Ok + "Transfer-Encoding: chunked\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Bounds, LimitTest,
    testing::Values(
        Limit{"header line of 8 KiB", Ok + headerLine(8192) + "\r\n", Cap, true, Failure::None},
        Limit{"header line over 8 KiB", Ok + headerLine(8193) + "\r\n", Cap, false,
              Failure::HeadTooLarge},
        Limit{"head of 64 KiB", headOf(64 * 1024) + "\r\n", Cap, true, Failure::None},
        Limit{"head over 64 KiB", headOf(64 * 1024 + 1) + "\r\n", Cap, false,
              Failure::HeadTooLarge},
        Limit{"endless head", Ok + std::string(70000, 'h'), Cap, false, Failure::HeadTooLarge},
        Limit{"100 fields", Ok + fields(100) + "\r\n", Cap, true, Failure::None},
        Limit{"101 fields", Ok + fields(101) + "\r\n", Cap, false, Failure::HeadTooLarge},
        Limit{"declared body at the cap", Ok + "Content-Length: 10\r\n\r\n0123456789", Cap, true,
              Failure::None},
        Limit{"declared body over the cap", Ok + "Content-Length: 11\r\n\r\n", Cap, false,
              Failure::TooLarge},
        Limit{"length past 64 bits", Ok + "Content-Length: 99999999999999999999999\r\n\r\n", Cap,
              false, Failure::TooLarge},
        Limit{"streamed body at the cap", Ok + "\r\n0123456789", Cap, true, Failure::None},
        Limit{"streamed body over the cap", Ok + "\r\n0123456789A", Cap, false, Failure::TooLarge},
        Limit{"chunks at the cap", Chunked + "5\r\n01234\r\n5\r\n56789\r\n0\r\n\r\n", Cap, true,
              Failure::None},
        Limit{"chunks over the cap", Chunked + "5\r\n01234\r\n6\r\n", Cap, false,
              Failure::TooLarge},
        Limit{"101 trailer fields", Chunked + "0\r\n" + fields(101) + "\r\n", Cap, false,
              Failure::HeadTooLarge},
        Limit{"chunk size line over 8 KiB", Chunked + "1;" + std::string(8200, 'e') + "\r\n", Cap,
              false, Failure::HeadTooLarge}),
    limitName);

// Every way of splitting an answer in two gives the same result.
class SplitTest : public testing::TestWithParam<std::string>
{
};

TEST_P(SplitTest, EveryBoundary)
{
    const std::string &bytes = GetParam();
    const Result whole = readAll(bytes, true, 0);
    ASSERT_EQ(whole.state, State::Complete);
    for (std::size_t at = 0; at <= bytes.size(); ++at) {
        HttpResponseReader reader;
        reader.feed(std::string_view(bytes).substr(0, at));
        std::string body = reader.takeBody();
        reader.feed(std::string_view(bytes).substr(at));
        reader.finish();
        body += reader.takeBody();
        ASSERT_EQ(reader.state(), State::Complete) << "split at " << at;
        EXPECT_EQ(reader.status(), whole.status) << "split at " << at;
        EXPECT_EQ(body, whole.body) << "split at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SplitTest,
    testing::Values(
        "HTTP/1.1 103 Early Hints\r\nLink: <a>\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n"
        "\r\ngood",
        Chunked + "4;e=1\r\ngood\r\n3\r\n ok\r\n0\r\nT: 1\r\n\r\n",
        "HTTP/1.0 200 OK\nContent-Type: text/plain\n\nuntil the close"));

TEST(ReaderFields, FirstOfANameWithoutRegardToCase)
{
    HttpResponseReader reader;
    reader.feed(Ok +
                "content-TYPE:  text/html \r\nContent-Type: text/plain\r\nLocation: /x\r\n\r\n");
    ASSERT_TRUE(reader.headComplete());
    EXPECT_EQ(reader.field("Content-Type"), "text/html");
    EXPECT_TRUE(reader.hasField("location"));
    EXPECT_EQ(reader.field("Content-Encoding"), "");
}

struct RequestCase
{
    const char *name;
    HttpRequestText::Target target;
    bool toProxy;
    std::string firstLines; // the request line and Host
};

std::ostream &operator<<(std::ostream &out, const RequestCase &c)
{
    return out << c.name;
}

class RequestTest : public testing::TestWithParam<RequestCase>
{
};

TEST_P(RequestTest, RequestLineAndHost)
{
    const RequestCase &c = GetParam();
    const std::string request = HttpRequestText::get(c.target, c.toProxy, "Agent/1");
    EXPECT_EQ(request.substr(0, c.firstLines.size()), c.firstLines);
    EXPECT_NE(request.find("\r\nAccept-Encoding: gzip, deflate\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nConnection: close\r\n\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nUser-Agent: Agent/1\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RequestTest,
    testing::Values(
        RequestCase{"default port",
                    {"http", "dyn.example.org", 80, "/k%20ey?h=1"},
                    false,
                    "GET /k%20ey?h=1 HTTP/1.1\r\nHost: dyn.example.org\r\n"},
        RequestCase{"other port",
                    {"http", "127.0.0.1", 8080, "/k"},
                    false,
                    "GET /k HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n"},
        RequestCase{"https default port",
                    {"https", "h.example", 443, "/k"},
                    false,
                    "GET /k HTTP/1.1\r\nHost: h.example\r\n"},
        RequestCase{"https on 80 names it",
                    {"https", "h.example", 80, "/k"},
                    false,
                    "GET /k HTTP/1.1\r\nHost: h.example:80\r\n"},
        RequestCase{
            "IPv6", {"http", "::1", 81, "/k"}, false, "GET /k HTTP/1.1\r\nHost: [::1]:81\r\n"},
        RequestCase{"no path",
                    {"http", "h.example", -1, "?q=1"},
                    false,
                    "GET /?q=1 HTTP/1.1\r\nHost: h.example\r\n"},
        RequestCase{"absolute form for a proxy",
                    {"http", "update.invalid", -1, "/my%20key"},
                    true,
                    "GET http://update.invalid/my%20key HTTP/1.1\r\nHost: update.invalid\r\n"}),
    [](const testing::TestParamInfo<RequestCase> &info) {
        std::string name = info.param.name;
        for (char &ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(RequestText, ProxyCredentialsGoToAnHttpProxyOnly)
{
    const HttpRequestText::Target target{"http", "h", -1, "/k"};
    EXPECT_NE(HttpRequestText::get(target, true, "A", "Basic dTpw")
                  .find("\r\nProxy-Authorization: Basic dTpw\r\n"),
              std::string::npos);
    EXPECT_EQ(HttpRequestText::get(target, false, "A", "Basic dTpw").find("Proxy-Authorization"),
              std::string::npos);
    EXPECT_EQ(HttpRequestText::get(target, true, "A", "Basic x\r\nX: 1"), "");
}

TEST(RequestText, RefusesBytesThatCouldBreakALine)
{
    for (const std::string &path : {std::string("/k\r\nX: 1"), std::string("/k ey"),
                                    std::string("/k\0", 3), std::string("/k\xc3\xa4")}) {
        EXPECT_EQ(HttpRequestText::get({"http", "h", -1, path}, false, "A"), "");
    }
    EXPECT_EQ(HttpRequestText::get({"http", "h\r\nX: 1", -1, "/"}, false, "A"), "");
    EXPECT_EQ(HttpRequestText::get({"ftp", "h", -1, "/"}, false, "A"), "");
}

} // namespace
