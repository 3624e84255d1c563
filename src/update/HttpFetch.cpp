#include "update/HttpFetch.h"

#include "base/AsciiText.h"
#include "base/CoreLog.h"
#include "update/HttpAnswer.h"
#include "update/HttpRequestText.h"

#include <algorithm>
#include <optional>

namespace {

using Failure = RequestOutcome::Failure;
using Reader = HttpResponseReader;

void log(CoreLog::Level level, const std::string &text)
{
    CoreLog::write(CoreLog::Area::Update, level, text);
}

Failure failureOf(Reader::Failure failure)
{
    switch (failure) {
    case Reader::Failure::TooLarge:
        return Failure::TooLarge;
    case Reader::Failure::CutShort:
        return Failure::CutShort;
    case Reader::Failure::NoAnswer:
        return Failure::ConnectionClosed;
    case Reader::Failure::TooManyInterim:
        return Failure::InterimOnly;
    case Reader::Failure::UnsupportedCoding:
        return Failure::UnsupportedCoding;
    default:
        return Failure::Broken;
    }
}

// The path with "." and ".." segments taken out.
std::string withoutDots(const std::string &path)
{
    std::vector<std::string> kept;
    std::size_t start = 1;
    for (std::size_t end; start <= path.size(); start = end + 1) {
        end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (!kept.empty())
                kept.pop_back();
        } else if (segment != ".") {
            kept.push_back(segment);
        }
        if (end == path.size() && (segment == "." || segment == ".."))
            kept.emplace_back();
    }
    std::string out;
    for (const std::string &segment : kept)
        out += "/" + segment;
    return out.empty() ? "/" : out;
}

// location taken against the URL it came from, as a browser takes it.
std::string resolved(const UpdateUrl::RequestUrl &base, std::string location)
{
    location = location.substr(0, location.find('#'));
    const std::size_t colon = location.find(':');
    const std::size_t slash = location.find_first_of("/?");
    if (colon != std::string::npos && colon > 0 && colon < slash)
        return location; // it names its own scheme
    if (location.compare(0, 2, "//") == 0)
        return base.scheme + ":" + location;
    const std::string origin = base.url.substr(0, base.url.size() - base.target.size());
    const std::string basePath = base.target.substr(0, base.target.find('?'));
    if (location.empty())
        return base.url;
    if (location.front() == '?')
        return origin + basePath + location;
    const std::size_t query = location.find('?');
    std::string path = location.substr(0, query);
    if (path.front() != '/')
        path = basePath.substr(0, basePath.rfind('/') + 1) + path;
    return origin + withoutDots(path) +
           (query == std::string::npos ? std::string() : location.substr(query));
}

} // namespace

bool HttpFetch::start(const std::string &url)
{
    if (m_busy)
        log(CoreLog::Level::Info, "request to " + m_target + " abandoned for a new one");
    m_busy = false;
    // Neither refusal quotes the text: it holds the key.
    if (url.empty()) {
        log(CoreLog::Level::Info, "no update URL set; nothing requested");
        return false;
    }
    const std::optional<UpdateUrl::RequestUrl> requestUrl = UpdateUrl::toRequestUrl(url);
    if (!requestUrl) {
        log(CoreLog::Level::Warning, "update URL refused: not an http or https URL with a host");
        return false;
    }
    m_url = *requestUrl;
    m_target = UpdateUrl::redacted(requestUrl);
    m_urls = {m_url.url};
    m_outcome = RequestOutcome();
    m_busy = true;
    log(CoreLog::Level::Info, "request to " + m_target);
    startHop();
    return true;
}

void HttpFetch::stop()
{
    if (m_busy)
        log(CoreLog::Level::Info, "request to " + m_target + " stopped");
    m_busy = false;
}

void HttpFetch::setDeadlineMs(int ms)
{
    m_deadlineMs = std::max(1, ms);
}

int HttpFetch::port() const
{
    return m_url.port >= 0 ? m_url.port : m_url.scheme == "https" ? 443 : 80;
}

std::string HttpFetch::request(bool toHttpProxy, const std::string &proxyAuthorization) const
{
    return HttpRequestText::get({m_url.scheme, m_url.host, m_url.port, m_url.target}, toHttpProxy,
                                HttpRequestText::UserAgent, proxyAuthorization);
}

void HttpFetch::startHop()
{
    m_reader = std::make_unique<Reader>(MaxAnswerBytes);
    m_decoder.reset();
    m_headSeen = false;
    m_body.clear();
}

HttpFetch::Step HttpFetch::feed(std::string_view bytes)
{
    if (!m_busy)
        return Step::More;
    m_reader->feed(bytes);
    return advance();
}

HttpFetch::Step HttpFetch::closed()
{
    if (!m_busy)
        return Step::More;
    if (m_reader->state() == Reader::State::NeedMore)
        m_reader->finish();
    return advance();
}

HttpFetch::Step HttpFetch::head(std::string_view rawHead)
{
    const Step step = feed(rawHead);
    // After an interim head the final answer comes in the body, framing and all.
    if (step == Step::More && m_reader->headComplete())
        m_reader->unchunked();
    return step;
}

HttpFetch::Step HttpFetch::advance()
{
    Reader &reader = *m_reader;
    if (reader.state() == Reader::State::Failed)
        return fail(failureOf(reader.failure()), 0);
    if (!reader.headComplete())
        return Step::More;
    if (!m_headSeen) {
        m_headSeen = true;
        const std::string location = reader.field("Location");
        if (HttpAnswer::isRedirect(reader.status()) && !location.empty())
            return redirect(location);
        const auto coding = ContentDecoder::codingFor(reader.field("Content-Encoding"));
        if (coding == ContentDecoder::Coding::Unsupported)
            return fail(Failure::UnsupportedCoding);
        m_decoder = std::make_unique<ContentDecoder>(coding, MaxAnswerBytes);
    }
    switch (m_decoder->decode(reader.takeBody(), m_body)) {
    case ContentDecoder::Result::Ok:
        return reader.state() == Reader::State::Complete ? answered() : Step::More;
    case ContentDecoder::Result::TooLarge:
        return fail(Failure::TooLarge);
    case ContentDecoder::Result::Damaged:
        break;
    }
    return fail(Failure::CompressedDamaged);
}

HttpFetch::Step HttpFetch::redirect(const std::string &location)
{
    const std::string target = resolved(m_url, location);
    const std::string scheme = AsciiText::lowered(target.substr(0, target.find(':')));
    if (scheme != "http" && scheme != "https")
        return fail(Failure::RedirectScheme);
    // The new URL goes on the wire by the same rules as the first one.
    const std::optional<UpdateUrl::RequestUrl> to = UpdateUrl::toRequestUrl(target);
    if (!to)
        return fail(Failure::RedirectInvalid);
    if (m_url.scheme == "https" && to->scheme == "http")
        return fail(Failure::RedirectLessSecure);
    if (m_urls.size() > MaxRedirects)
        return fail(Failure::TooManyRedirects);
    log(CoreLog::Level::Info, "redirected to " + UpdateUrl::redacted(to));
    m_url = *to;
    m_urls.push_back(to->url);
    startHop();
    return Step::Redirected;
}

HttpFetch::Step HttpFetch::answered()
{
    if (m_decoder->finish() != ContentDecoder::Result::Ok)
        return fail(Failure::CompressedDamaged);
    const int status = m_reader->status();
    RequestOutcome outcome = RequestOutcome::ofAnswer(status, m_body, m_urls);
    outcome.answerText = HttpAnswer::shownText(m_reader->field("Content-Type"), m_body);
    const std::string word = RequestOutcome::firstWord(m_body);
    const std::string line =
        "HTTP " + std::to_string(status) + ", " +
        (word.empty()                                ? "empty answer"
         : !RequestOutcome::mayLogWord(word, m_urls) ? "answer not shown"
                                                     : "answer \"" + word + "\"");
    return done(std::move(outcome), line);
}

HttpFetch::Step HttpFetch::fail(Failure failure, long number)
{
    if (!m_busy)
        return Step::More;
    const RequestOutcome outcome(failure, 0, {}, number);
    return done(outcome, outcome.logText());
}

HttpFetch::Step HttpFetch::done(RequestOutcome outcome, const std::string &logLine)
{
    const bool failed = !outcome.succeeded();
    m_busy = false;
    m_reader.reset();
    m_decoder.reset();
    m_body.clear();
    m_outcome = std::move(outcome);
    log(failed ? CoreLog::Level::Warning : CoreLog::Level::Info,
        "request to " + m_target + (failed ? " failed: " : " succeeded: ") + logLine);
    return Step::Done;
}
