#ifndef TAVRIN_UPDATE_REQUESTOUTCOME_H
#define TAVRIN_UPDATE_REQUESTOUTCOME_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

// How one update request ended. Nothing in it holds the key: the refusal word
// is kept only where it may be logged.
struct RequestOutcome
{
    enum class Failure
    {
        None,
        // The transport, as the channel reports it.
        ConnectionRefused,
        ConnectionClosed,
        HostNotFound,
        ConnectionTimedOut,
        SecureConnectionFailed,
        NetworkUnavailable,
        ProxyError,
        NetworkError, // number: the system's error code
        NotStarted,   // the channel could not start the request
        Deadline,     // number: the deadline in ms
        // The answer.
        HttpStatus,  // httpStatus of 400 or above
        Refused,     // the service's word says no; word where it may be logged
        InterimOnly, // an interim (1xx) answer without a final one
        TooLarge,
        CutShort,
        Broken, // no HTTP/1.x answer, or one broken in its framing
        CompressedDamaged,
        UnsupportedCoding,
        // The redirect rules and the URL.
        RedirectScheme,
        RedirectInvalid,
        RedirectLessSecure,
        TooManyRedirects,
        UrlNotFit,
    };

    RequestOutcome(Failure failure = Failure::None, int httpStatus = 0, std::string word = {},
                   long number = 0, std::optional<std::string> answerText = {})
        : failure(failure), httpStatus(httpStatus), word(std::move(word)), number(number),
          answerText(std::move(answerText))
    {
    }

    Failure failure;
    int httpStatus;
    std::string word;
    long number;
    // What the answer area shows, when an answer came.
    std::optional<std::string> answerText;

    bool succeeded() const { return failure == Failure::None; }
    // Why it failed, in English for the log; empty when it succeeded.
    std::string logText() const;
    // The same in German, for the user, to follow a colon.
    std::string germanText() const;
    // What a refusal's word means (German sentences); empty for other outcomes.
    std::string refusalMeaning() const;
    // germanText() as a sentence of its own, then what a refusal means.
    std::string germanSentences() const;

    // A complete final answer (status 200 to 599). Services often refuse with
    // HTTP 200 and a word ("badauth", "nohost", ...), so it fails at 400 and
    // above, or when the body's first word is one of those refusals in any case.
    static RequestOutcome ofAnswer(int httpStatus, const std::string &body,
                                   const std::vector<std::string> &requestUrls);
    // Leading blanks and a byte order mark skipped, up to a blank or ':' ',' ';'.
    static std::string firstWord(const std::string &body);
    // At most 24 characters of [A-Za-z0-9!._:-], and no part of the path or
    // query of a request URL (where the key is), as sent or percent-decoded,
    // nor holding a longer piece of one.
    static bool mayLogWord(const std::string &word, const std::vector<std::string> &requestUrls);

    // The answer's text aside.
    bool operator==(const RequestOutcome &o) const
    {
        return failure == o.failure && httpStatus == o.httpStatus && word == o.word &&
               number == o.number;
    }
    bool operator!=(const RequestOutcome &o) const { return !(*this == o); }
};

#endif
