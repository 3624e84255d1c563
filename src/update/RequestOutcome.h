#ifndef TAVRIN_UPDATE_REQUESTOUTCOME_H
#define TAVRIN_UPDATE_REQUESTOUTCOME_H

#include <optional>
#include <string>
#include <utility>

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
    // The same in German, for the user.
    std::string germanText() const;

    // The answer's text aside.
    bool operator==(const RequestOutcome &o) const
    {
        return failure == o.failure && httpStatus == o.httpStatus && word == o.word &&
               number == o.number;
    }
    bool operator!=(const RequestOutcome &o) const { return !(*this == o); }
};

#endif
