#ifndef TAVRIN_UPDATE_UPDATEOUTCOME_H
#define TAVRIN_UPDATE_UPDATEOUTCOME_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

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
    static const QList<QByteArray> &refusalWords();

    // The body's first word: leading blanks (and a UTF-8 byte order mark) are
    // skipped, and the word ends at a blank or at ':' ',' ';'. Empty for an
    // empty or blank body.
    static QByteArray firstWord(const QByteArray &body);

    static bool isRefusal(const QByteArray &word);

    static UpdateOutcome classify(int httpStatus, const QByteArray &body);

    bool succeeded() const { return m_succeeded; }
    int httpStatus() const { return m_httpStatus; }
    QByteArray word() const { return m_word; }
    bool refused() const { return m_refused; } // failed because of the word
    bool interim() const { return m_interim; } // failed because the status is 1xx

    // True when word may appear in the log: at most MaxLoggedWordLength
    // characters of [A-Za-z0-9!._:-], and not part of the path or query of any
    // of the request's URLs (where the key is), nor holding a longer piece of them.
    static constexpr int MaxLoggedWordLength = 24;
    static bool mayLogWord(const QByteArray &word, const QList<QUrl> &requestUrls);

    // For the log line of a finished request: `HTTP 200, answer "good"`, with
    // the word left out when it may not be logged.
    QString describe(const QList<QUrl> &requestUrls) const;
    // For requestFailed: "HTTP 404", for a 1xx status "HTTP 103, an interim
    // answer without a final one", or for a refusal `refused by the service
    // ("badauth")`, the word again only where it may be logged.
    QString failureReason(const QList<QUrl> &requestUrls) const;

private:
    int m_httpStatus = 0;
    QByteArray m_word;
    bool m_succeeded = false;
    bool m_refused = false;
    bool m_interim = false;
};

#endif
