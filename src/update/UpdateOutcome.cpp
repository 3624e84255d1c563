#include "update/UpdateOutcome.h"

#include "update/AsciiText.h"

#include <algorithm>

namespace {

using AsciiText::hexValue;
using AsciiText::lowered;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool endsWord(char c)
{
    return isBlank(c) || c == ':' || c == ',' || c == ';';
}

bool isLoggableChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' ||
           c == '.' || c == '_' || c == ':' || c == '-';
}

std::string percentDecoded(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Path and query of the URL (all of it when it has no "scheme://host"), as
// sent and as typed, in lower case; the key may appear in either form.
std::vector<std::string> secretForms(const std::string &url)
{
    std::string target = url.substr(0, url.find('#'));
    const std::size_t authority = target.find("://");
    if (authority != std::string::npos) {
        const std::size_t end = target.find_first_of("/?", authority + 3);
        target.erase(0, end == std::string::npos ? target.size() : end);
    }
    return {lowered(target), lowered(percentDecoded(target))};
}

bool isSeparator(char c)
{
    return c == '/' || c == '?' || c == '&' || c == '=' || c == ';';
}

// Pieces shorter than this are too common to stand for a key.
constexpr std::size_t ShortestSecretPiece = 4;

} // namespace

const std::vector<std::string> &UpdateOutcome::refusalWords()
{
    static const std::vector<std::string> words = {"badauth", "!donator", "notfqdn",  "nohost",
                                                   "numhost", "abuse",    "badagent", "dnserr",
                                                   "911",     "ko",       "error"};
    return words;
}

std::string UpdateOutcome::firstWord(const std::string &body)
{
    std::size_t start = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < body.size() && isBlank(body[start]))
        ++start;
    std::size_t end = start;
    while (end < body.size() && !endsWord(body[end]))
        ++end;
    return body.substr(start, end - start);
}

bool UpdateOutcome::isRefusal(const std::string &word)
{
    const std::vector<std::string> &words = refusalWords();
    return std::find(words.begin(), words.end(), lowered(word)) != words.end();
}

UpdateOutcome UpdateOutcome::classify(int httpStatus, const std::string &body)
{
    UpdateOutcome outcome;
    outcome.m_httpStatus = httpStatus;
    outcome.m_word = firstWord(body);
    outcome.m_interim = httpStatus >= 100 && httpStatus < 200;
    outcome.m_refused = httpStatus >= 200 && httpStatus < 400 && isRefusal(outcome.m_word);
    outcome.m_succeeded = httpStatus >= 200 && httpStatus < 400 && !outcome.m_refused;
    return outcome;
}

bool UpdateOutcome::mayLogWord(const std::string &word, const std::vector<std::string> &requestUrls)
{
    if (word.empty() || word.size() > MaxLoggedWordLength)
        return false;
    for (char c : word) {
        if (!isLoggableChar(c))
            return false;
    }
    const std::string text = lowered(word);
    for (const std::string &url : requestUrls) {
        for (const std::string &form : secretForms(url)) {
            if (form.find(text) != std::string::npos)
                return false;
            // The other way round too: a key quoted inside the word.
            for (std::size_t start = 0; start < form.size();) {
                std::size_t end = start;
                while (end < form.size() && !isSeparator(form[end]))
                    ++end;
                if (end - start >= ShortestSecretPiece &&
                    text.find(form.substr(start, end - start)) != std::string::npos)
                    return false;
                start = end + 1;
            }
        }
    }
    return true;
}

std::string UpdateOutcome::describe(const std::vector<std::string> &requestUrls) const
{
    const std::string text = "HTTP " + std::to_string(m_httpStatus) + ", ";
    if (m_word.empty())
        return text + "empty answer";
    if (!mayLogWord(m_word, requestUrls))
        return text + "answer not shown";
    return text + "answer \"" + m_word + "\"";
}
