#ifndef TAVRIN_UPDATE_UPDATEOUTCOME_H
#define TAVRIN_UPDATE_UPDATEOUTCOME_H

#include <cstddef>
#include <string>
#include <vector>

// How a complete HTTP answer of the update service is to be taken.
//
// Dynamic-DNS services often refuse an update with HTTP 200 and a short word
// in the body ("badauth", "nohost", ...). An answer therefore fails when its
// status is 400 or above, or when the first word of its body is one of those
// refusals, compared without regard to case. An interim (1xx) status is no
// answer to the request and fails too. Any other answer succeeds: "good",
// "nochg", "OK", an empty body and unknown text alike.
class UpdateOutcome
{
public:
    // The refusal words, in lower case.
    static const std::vector<std::string> &refusalWords();

    // The body's first word: leading blanks (and a UTF-8 byte order mark) are
    // skipped, and the word ends at a blank or at ':' ',' ';'. Empty for an
    // empty or blank body.
    static std::string firstWord(const std::string &body);

    static bool isRefusal(const std::string &word);

    static UpdateOutcome classify(int httpStatus, const std::string &body);

    bool succeeded() const { return m_succeeded; }
    int httpStatus() const { return m_httpStatus; }
    const std::string &word() const { return m_word; }
    bool refused() const { return m_refused; } // failed because of the word
    bool interim() const { return m_interim; } // failed because the status is 1xx

    // True when word may appear in the log: at most MaxLoggedWordLength
    // characters of [A-Za-z0-9!._:-], and not part of the path or query of any
    // of the request's URLs (where the key is), as sent or percent-decoded, nor
    // holding a longer piece of them. The URLs are the full URL strings.
    static constexpr std::size_t MaxLoggedWordLength = 24;
    static bool mayLogWord(const std::string &word, const std::vector<std::string> &requestUrls);

    // For the log line of a finished request: `HTTP 200, answer "good"`, with
    // the word left out when it may not be logged.
    std::string describe(const std::vector<std::string> &requestUrls) const;

private:
    int m_httpStatus = 0;
    std::string m_word;
    bool m_succeeded = false;
    bool m_refused = false;
    bool m_interim = false;
};

#endif
