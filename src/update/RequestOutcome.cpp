#include "update/RequestOutcome.h"

#include "base/AsciiText.h"
#include "update/AnswerWords.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

using AsciiText::hexValue;
using AsciiText::isBlank;
using AsciiText::lowered;

bool isLoggableChar(char c)
{
    return AsciiText::isLetter(c) || AsciiText::isDigit(c) ||
           std::string_view("!._:-").find(c) != std::string_view::npos;
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

// Both languages side by side, so no reason lacks either.
std::pair<std::string, std::string> texts(const RequestOutcome &o)
{
    using F = RequestOutcome::Failure;
    const std::string status = "HTTP " + std::to_string(o.httpStatus);
    switch (o.failure) {
    case F::None:
        return {};
    case F::ConnectionRefused:
        return {"connection refused", "Verbindung abgelehnt"};
    case F::ConnectionClosed:
        return {"connection closed by the server", "Verbindung vom Server getrennt"};
    case F::HostNotFound:
        return {"host not found", "Server nicht gefunden"};
    case F::ConnectionTimedOut:
        return {"connection timed out", "Zeitüberschreitung der Verbindung"};
    case F::SecureConnectionFailed:
        return {"secure connection failed", "sichere Verbindung fehlgeschlagen"};
    case F::NetworkUnavailable:
        return {"network unavailable", "Netzwerk nicht erreichbar"};
    case F::ProxyError:
        return {"proxy error", "Proxy-Fehler"};
    case F::NetworkError:
        return {"network error " + std::to_string(o.number),
                "Netzwerkfehler " + std::to_string(o.number)};
    case F::NotStarted:
        return {"request could not be started", "Anfrage konnte nicht gestartet werden"};
    case F::Deadline: {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3g s", double(o.number) / 1000.0);
        std::string german = seconds;
        std::replace(german.begin(), german.end(), '.', ',');
        return {std::string("no answer within ") + seconds,
                "keine Antwort innerhalb von " + german};
    }
    case F::HttpStatus:
        return {status, "der Dienst antwortete mit HTTP-Status " + std::to_string(o.httpStatus)};
    case F::Refused:
        if (o.word.empty())
            return {"refused by the service", "vom Dienst abgelehnt"};
        return {"refused by the service (\"" + o.word + "\")",
                "vom Dienst abgelehnt („" + o.word + "“)"};
    case F::InterimOnly:
        return {status + ", an interim answer without a final one",
                "nur eine Zwischenantwort (" + status + ")"};
    case F::TooLarge:
        return {"answer too large", "Antwort zu groß"};
    case F::CutShort:
        return {"answer cut short", "Antwort unvollständig"};
    case F::Broken:
        return {"invalid answer from the server", "ungültige Antwort vom Server"};
    case F::CompressedDamaged:
        return {"compressed answer damaged", "komprimierte Antwort beschädigt"};
    case F::UnsupportedCoding:
        return {"answer in an unsupported coding", "Antwort in einer unbekannten Kodierung"};
    case F::RedirectScheme:
        return {"unsupported protocol", "Weiterleitung auf ein anderes Protokoll abgelehnt"};
    case F::RedirectInvalid:
        return {"invalid redirect", "ungültige Weiterleitung"};
    case F::RedirectLessSecure:
        return {"redirect to a less secure URL refused",
                "Weiterleitung auf eine unsichere Adresse abgelehnt"};
    case F::TooManyRedirects:
        return {"too many redirects", "zu viele Weiterleitungen"};
    case F::UrlNotFit:
        return {"update URL not fit to send", "Aktualisierungsadresse nicht sendbar"};
    }
    return {};
}

} // namespace

std::string RequestOutcome::logText() const
{
    return texts(*this).first;
}

std::string RequestOutcome::germanText() const
{
    return texts(*this).second;
}

std::string RequestOutcome::refusalMeaning() const
{
    return failure == Failure::Refused ? AnswerWords::meaning(word) : std::string();
}

std::string RequestOutcome::germanSentences() const
{
    std::string text = germanText();
    if (text.empty())
        return text;
    text[0] = AsciiText::isLetter(text[0]) ? char(std::toupper(static_cast<unsigned char>(text[0])))
                                           : text[0];
    const std::string meaning = refusalMeaning();
    return text + "." + (meaning.empty() ? "" : " " + meaning);
}

RequestOutcome RequestOutcome::ofAnswer(int httpStatus, const std::string &body,
                                        const std::vector<std::string> &requestUrls)
{
    const std::string word = firstWord(body);
    RequestOutcome outcome(Failure::None, httpStatus);
    if (httpStatus >= 400)
        outcome.failure = Failure::HttpStatus;
    else if (AnswerWords::isRefusal(word))
        outcome.failure = Failure::Refused;
    if (outcome.failure == Failure::Refused && mayLogWord(word, requestUrls))
        outcome.word = word;
    return outcome;
}

std::string RequestOutcome::firstWord(const std::string &body)
{
    std::size_t start = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < body.size() && isBlank(body[start]))
        ++start;
    const std::size_t end = std::min(body.find_first_of(" \t\r\n\f\v:,;", start), body.size());
    return body.substr(start, end - start);
}

bool RequestOutcome::mayLogWord(const std::string &word,
                                const std::vector<std::string> &requestUrls)
{
    if (word.empty() || word.size() > 24 || !std::all_of(word.begin(), word.end(), isLoggableChar))
        return false;
    const std::string text = lowered(word);
    for (const std::string &url : requestUrls) {
        for (const std::string &form : secretForms(url)) {
            if (form.find(text) != std::string::npos)
                return false;
            // The other way round too: a key quoted inside the word. Pieces
            // shorter than 4 are too common to stand for a key.
            for (std::size_t start = 0; start < form.size();) {
                const std::size_t end = std::min(form.find_first_of("/?&=;", start), form.size());
                if (end - start >= 4 &&
                    text.find(form.substr(start, end - start)) != std::string::npos)
                    return false;
                start = end + 1;
            }
        }
    }
    return true;
}
