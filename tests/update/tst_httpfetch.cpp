#include "base/CoreLog.h"
#include "update/HttpAnswer.h"
#include "update/HttpFetch.h"
#include "update/NoProxy.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zlib.h>

// The fetch both channels make, driven by the bytes a server would send.
namespace {

using Failure = RequestOutcome::Failure;
using Step = HttpFetch::Step;

std::vector<std::string> logged;
void record(CoreLog::Area, CoreLog::Level, const std::string &line)
{
    logged.push_back(line);
}

// text packed by zlib: windowBits 31 gives gzip, 15 zlib, -15 raw deflate.
std::string packed(const std::string &text, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, uLong(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = uInt(text.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

std::string answer(const std::string &status, const std::string &fields, const std::string &body)
{
    return "HTTP/1.1 " + status + "\r\n" + fields +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string Gzipped = "Content-Encoding: gzip\r\n";
const std::string Text = "good 192.0.2.1 " + std::string(5000, 'x');

struct FetchCase
{
    const char *name;
    std::string url;
    // The answers to each hop, whole; "" for a hop whose connection closes at once.
    std::vector<std::string> answers;
    Failure failure;
    int status;
    std::string word;   // the refusal word the outcome may name
    std::string shown;  // the answer area's text; "-" for no answer
    std::string hosts;  // every hop's host:port target, as sent
    std::string logEnd; // how the last log line ends
};

class Fetches : public testing::TestWithParam<FetchCase>
{
protected:
    void SetUp() override
    {
        logged.clear();
        CoreLog::setSink(record);
    }
    void TearDown() override { CoreLog::setSink(nullptr); }
};

TEST_P(Fetches, FollowTheRulesAndEndInOneOutcome)
{
    const FetchCase &c = GetParam();
    HttpFetch fetch;
    ASSERT_TRUE(fetch.start(c.url));
    std::string hosts;
    Step step = Step::Redirected;
    for (std::size_t hop = 0; step == Step::Redirected; ++hop) {
        ASSERT_LT(hop, c.answers.size());
        hosts += (hosts.empty() ? "" : " ") + fetch.url().host + ":" +
                 std::to_string(fetch.port()) + fetch.url().target;
        step = fetch.feed(c.answers[hop]);
        if (step == Step::More)
            step = fetch.closed();
    }
    ASSERT_EQ(step, Step::Done);
    EXPECT_FALSE(fetch.busy());
    const RequestOutcome &o = fetch.outcome();
    EXPECT_EQ(o.failure, c.failure) << o.logText();
    EXPECT_EQ(o.httpStatus, c.status);
    EXPECT_EQ(o.word, c.word);
    EXPECT_EQ(o.answerText.value_or("-").substr(0, 40), c.shown);
    EXPECT_EQ(hosts, c.hosts);
    ASSERT_FALSE(logged.empty());
    const std::string &last = logged.back();
    EXPECT_EQ(last.substr(last.size() - std::min(last.size(), c.logEnd.size())), c.logEnd);
    for (const std::string &line : logged)
        EXPECT_EQ(line.find("Geheim"), std::string::npos) << line;
}

const std::string Ok = answer("200 OK", "", "good");
std::string to(const std::string &location, const std::string &status = "302 Found")
{
    return answer(status, "Location: " + location + "\r\n", "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Fetches,
    testing::Values(
        FetchCase{"good",
                  "http://h.example/Geheim1",
                  {answer("200 OK", "", "good 1.2.3.4")},
                  Failure::None,
                  200,
                  "",
                  "good 1.2.3.4",
                  "h.example:80/Geheim1",
                  "succeeded: HTTP 200, answer \"good\""},
        FetchCase{"notFoundShown",
                  "http://h.example/k",
                  {answer("404 Not Found", "", "Nope")},
                  Failure::HttpStatus,
                  404,
                  "",
                  "Nope",
                  "h.example:80/k",
                  "failed: HTTP 404, answer \"Nope\""},
        FetchCase{"badauth",
                  "http://h.example/k",
                  {answer("200 OK", "", "badauth\n")},
                  Failure::Refused,
                  200,
                  "badauth",
                  "badauth\n",
                  "h.example:80/k",
                  "failed: HTTP 200, answer \"badauth\""},
        FetchCase{"answerIsTheKey",
                  "http://h.example/nic?pw=Geheim42",
                  {answer("200 OK", "", "Geheim42 nochg")},
                  Failure::None,
                  200,
                  "",
                  "Geheim42 nochg",
                  "h.example:80/nic?pw=Geheim42",
                  "succeeded: HTTP 200, answer not shown"},
        FetchCase{"interimOnly",
                  "http://h.example/k",
                  {"HTTP/1.1 103 Early\r\n\r\n"},
                  Failure::CutShort,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: answer cut short"},
        FetchCase{"interimThenFinal",
                  "http://h.example/k",
                  {"HTTP/1.1 100 Continue\r\n\r\n" + answer("500 Oops", "", "")},
                  Failure::HttpStatus,
                  500,
                  "",
                  "",
                  "h.example:80/k",
                  "failed: HTTP 500, empty answer"},
        FetchCase{"htmlAsText",
                  "http://h.example/k",
                  {answer("200 OK", "Content-Type: text/html\r\n", "<p>gut &amp; gern</p>")},
                  Failure::None,
                  200,
                  "",
                  "gut & gern",
                  "h.example:80/k",
                  "answer not shown"},
        FetchCase{"gzip",
                  "http://h.example/k",
                  {answer("200 OK", Gzipped, packed(Text, 31))},
                  Failure::None,
                  200,
                  "",
                  Text.substr(0, 40),
                  "h.example:80/k",
                  "answer \"good\""},
        FetchCase{"deflateRaw",
                  "http://h.example/k",
                  {answer("200 OK", "Content-Encoding: deflate\r\n", packed(Text, -15))},
                  Failure::None,
                  200,
                  "",
                  Text.substr(0, 40),
                  "h.example:80/k",
                  "answer \"good\""},
        FetchCase{"gzipCutShort",
                  "http://h.example/k",
                  {answer("200 OK", Gzipped, packed(Text, 31).substr(0, 20))},
                  Failure::CompressedDamaged,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: compressed answer damaged"},
        FetchCase{"unknownCoding",
                  "http://h.example/k",
                  {answer("200 OK", "Content-Encoding: br\r\n", "x")},
                  Failure::UnsupportedCoding,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: answer in an unsupported coding"},
        FetchCase{"gzipBomb",
                  "http://h.example/k",
                  {answer("200 OK", Gzipped, packed(std::string(3 << 20, 'a'), 31))},
                  Failure::TooLarge,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: answer too large"},
        FetchCase{"closedAtOnce",
                  "http://h.example/k",
                  {""},
                  Failure::ConnectionClosed,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: connection closed by the server"},
        FetchCase{"notHttp",
                  "http://h.example/k",
                  {"SSH-2.0-x\r\n"},
                  Failure::Broken,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: invalid answer from the server"},
        // Redirects: relative and absolute, within the rules, each hop's word counted.
        FetchCase{"redirectsFollowed",
                  "http://h.example/a/b?q=1",
                  {to("c/../d?e", "301 Moved"), to("//other.example:8080/f", "307 Temp"),
                   to("?g", "308 Perm"), to("https://h.example/Geheim-badauth", "303 See"),
                   answer("200 OK", "", "badauth")},
                  Failure::Refused,
                  200,
                  "",
                  "badauth",
                  "h.example:80/a/b?q=1 h.example:80/a/d?e other.example:8080/f "
                  "other.example:8080/f?g h.example:443/Geheim-badauth",
                  "answer not shown"},
        FetchCase{"redirectWithoutLocationIsAnAnswer",
                  "http://h.example/k",
                  {answer("302 Found", "", "moved")},
                  Failure::None,
                  302,
                  "",
                  "moved",
                  "h.example:80/k",
                  "answer \"moved\""},
        FetchCase{"redirectToFtp",
                  "http://h.example/k",
                  {to("ftp://h.example/k")},
                  Failure::RedirectScheme,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: unsupported protocol"},
        FetchCase{"redirectWithoutHost",
                  "http://h.example/k",
                  {to("http:///k")},
                  Failure::RedirectInvalid,
                  0,
                  "",
                  "-",
                  "h.example:80/k",
                  "failed: invalid redirect"},
        FetchCase{"httpsToHttp",
                  "https://h.example/k",
                  {to("http://h.example/k")},
                  Failure::RedirectLessSecure,
                  0,
                  "",
                  "-",
                  "h.example:443/k",
                  "failed: redirect to a less secure URL refused"},
        FetchCase{"loop", "http://h.example/k", std::vector<std::string>(12, to("/k")),
                  Failure::TooManyRedirects, 0, "", "-",
                  "h.example:80/k h.example:80/k h.example:80/k h.example:80/k h.example:80/k "
                  "h.example:80/k h.example:80/k h.example:80/k h.example:80/k h.example:80/k "
                  "h.example:80/k",
                  "failed: too many redirects"}),
    paramName<FetchCase>);

TEST(FetchStart, RefusesWhatCannotBeSentWithoutQuotingIt)
{
    logged.clear();
    CoreLog::setSink(record);
    HttpFetch fetch;
    for (const char *url : {"", "not a Geheim url", "ftp://h.example/Geheim", "http:///Geheim"})
        EXPECT_FALSE(fetch.start(url));
    EXPECT_FALSE(fetch.busy());
    EXPECT_EQ(fetch.feed(Ok), Step::More); // nothing in progress
    ASSERT_TRUE(fetch.start("http://h.example/k"));
    EXPECT_EQ(fetch.request(false),
              "GET /k HTTP/1.1\r\nHost: h.example\r\nUser-Agent: TavrinConnector/" TAVRIN_VERSION
              "\r\n"
              "Accept: */*\r\nAccept-Encoding: gzip, deflate\r\nConnection: close\r\n\r\n");
    fetch.setDeadlineMs(1500);
    EXPECT_EQ(fetch.timedOut(), Step::Done);
    EXPECT_EQ(fetch.outcome().logText(), "no answer within 1.5 s");
    ASSERT_TRUE(fetch.start("http://h.example/k"));
    ASSERT_TRUE(fetch.start("http://h.example/k2"));
    fetch.stop();
    const std::vector<std::string> expected{
        "no update URL set; nothing requested",
        "update URL refused: not an http or https URL with a host",
        "update URL refused: not an http or https URL with a host",
        "update URL refused: not an http or https URL with a host",
        "request to http://h.example",
        "request to http://h.example failed: no answer within 1.5 s",
        "request to http://h.example",
        "request to http://h.example abandoned for a new one",
        "request to http://h.example",
        "request to http://h.example stopped"};
    EXPECT_EQ(logged, expected);
    CoreLog::setSink(nullptr);
}

// Where the system takes the framing apart, the head as it came and the body's
// byte count still decide.
struct SplitCase
{
    const char *name;
    std::string head;
    std::string body;
    Failure failure;
};

class SplitAnswers : public testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitAnswers, JudgedByTheSameRules)
{
    HttpFetch fetch;
    ASSERT_TRUE(fetch.start("http://h.example/k"));
    Step step = fetch.head(GetParam().head);
    if (step == Step::More)
        step = fetch.feed(GetParam().body);
    if (step == Step::More)
        step = fetch.closed();
    ASSERT_EQ(step, Step::Done);
    EXPECT_EQ(fetch.outcome().failure, GetParam().failure) << fetch.outcome().logText();
}

INSTANTIATE_TEST_SUITE_P(
    Heads, SplitAnswers,
    testing::Values(
        SplitCase{"whole", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", "good", Failure::None},
        SplitCase{"cutShort", "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n", "good",
                  Failure::CutShort},
        SplitCase{"chunkedNeedsNoLength", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                  "good", Failure::None},
        SplitCase{"gzipCut", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n",
                  packed(Text, 31).substr(0, 30), Failure::CompressedDamaged},
        SplitCase{"http2", "HTTP/2 200\r\n\r\n", "good", Failure::Broken},
        SplitCase{"interimThenFinalInTheBody", "HTTP/1.1 103 Early\r\nLink: x\r\n\r\n",
                  answer("200 OK", "", "good"), Failure::None}),
    paramName<SplitCase>);

// What the answer area shows of a body, by its type and charset.
struct ShownCase
{
    const char *name;
    std::string contentType;
    std::string body;
    std::string shown;
};

class Shown : public testing::TestWithParam<ShownCase>
{
};

TEST_P(Shown, TextOfTheAnswer)
{
    EXPECT_EQ(HttpAnswer::shownText(GetParam().contentType, GetParam().body), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, Shown,
    testing::Values(
        ShownCase{"plain", "text/plain", "good <b>1</b>\nline 2", "good <b>1</b>\nline 2"},
        ShownCase{"html", "TEXT/HTML", "<p>Hallo <b>Welt</b></p><img src=x>", "Hallo Welt"},
        ShownCase{"untypedDoctype", "", "<!DOCTYPE html><p>x</p>", "x"},
        ShownCase{"latin1", "text/plain; charset=ISO-8859-1", "gr\xFC\xDF", "gr\xC3\xBC\xC3\x9F"},
        ShownCase{"windows1252", "text/plain; charset=windows-1252", "\x80", "\xE2\x82\xAC"},
        ShownCase{"latin9", "text/plain; charset=ISO-8859-15", "\xA4", "\xE2\x82\xAC"},
        ShownCase{"metaCharset", "text/html", "<meta charset=\"latin1\"><p>\xFC</p>", "\xC3\xBC"},
        ShownCase{"utf8ByDefault", "", "gr\xC3\xBC \xF0\x9F\x98\x80",
                  "gr\xC3\xBC \xF0\x9F\x98\x80"},
        ShownCase{"brokenUtf8", "", "a\xFF\xC3", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        ShownCase{"cut", "", std::string(70000, 'x'), std::string(HttpAnswer::MaxShownChars, 'x')}),
    paramName<ShownCase>);

struct NoProxyCase
{
    const char *name;
    std::string list;
    std::string host;
    int port;
    bool exempt;
};

class NoProxyList : public testing::TestWithParam<NoProxyCase>
{
};

TEST_P(NoProxyList, ExemptsAsCurlAndWgetDo)
{
    const NoProxyCase &c = GetParam();
    EXPECT_EQ(NoProxy::exempts(c.list, c.host, c.port), c.exempt);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NoProxyList,
    testing::Values(NoProxyCase{"empty", "", "dyn.example.org", 80, false},
                    NoProxyCase{"domain", "example.org", "example.org", 80, true},
                    NoProxyCase{"subdomain", "localhost, Example.org", "dyn.example.org", 80, true},
                    NoProxyCase{"leadingDot", ".example.org", "dyn.example.org", 80, true},
                    NoProxyCase{"leadingDotOwnName", ".example.org", "example.org", 80, true},
                    NoProxyCase{"suffixIsNoSubdomain", "example.org", "badexample.org", 80, false},
                    NoProxyCase{"star", "*", "dyn.example.org", 443, true},
                    NoProxyCase{"portMatches", "example.org:8080", "dyn.example.org", 8080, true},
                    NoProxyCase{"portDiffers", "example.org:8080", "example.org", 80, false},
                    NoProxyCase{"ipAsWritten", "127.0.0.1", "127.0.0.1", 80, true},
                    NoProxyCase{"noRanges", "127.0.0.0/8", "127.0.0.1", 80, false},
                    NoProxyCase{"ipv6", "::1", "::1", 80, true},
                    NoProxyCase{"ipv6WithPort", "[::1]:8080", "::1", 8080, true}),
    paramName<NoProxyCase>);

} // namespace
