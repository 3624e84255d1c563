#include "update/UpdateOutcome.h"

#include <QRegularExpression>

namespace {

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

// Path and query of the URL as sent and as typed; the key may appear in either form.
QStringList secretForms(const QUrl &url)
{
    QStringList forms;
    for (QUrl::ComponentFormattingOptions format : {QUrl::FullyEncoded, QUrl::FullyDecoded}) {
        forms.append(url.path(format));
        forms.append(url.query(format));
    }
    return forms;
}

// Pieces shorter than this are too common to stand for a key.
constexpr int ShortestSecretPiece = 4;

} // namespace

const QList<QByteArray> &UpdateOutcome::refusalWords()
{
    static const QList<QByteArray> words = {"badauth", "!donator", "notfqdn",  "nohost",
                                            "numhost", "abuse",    "badagent", "dnserr",
                                            "911",     "ko",       "error"};
    return words;
}

QByteArray UpdateOutcome::firstWord(const QByteArray &body)
{
    qsizetype start = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < body.size() && isBlank(body.at(start)))
        ++start;
    qsizetype end = start;
    while (end < body.size() && !endsWord(body.at(end)))
        ++end;
    return body.mid(start, end - start);
}

bool UpdateOutcome::isRefusal(const QByteArray &word)
{
    return refusalWords().contains(word.toLower());
}

UpdateOutcome UpdateOutcome::classify(int httpStatus, const QByteArray &body)
{
    UpdateOutcome outcome;
    outcome.m_httpStatus = httpStatus;
    outcome.m_word = firstWord(body);
    outcome.m_interim = httpStatus >= 100 && httpStatus < 200;
    outcome.m_refused = httpStatus >= 200 && httpStatus < 400 && isRefusal(outcome.m_word);
    outcome.m_succeeded = httpStatus >= 200 && httpStatus < 400 && !outcome.m_refused;
    return outcome;
}

bool UpdateOutcome::mayLogWord(const QByteArray &word, const QList<QUrl> &requestUrls)
{
    if (word.isEmpty() || word.size() > MaxLoggedWordLength)
        return false;
    for (char c : word) {
        if (!isLoggableChar(c))
            return false;
    }
    const QString text = QString::fromLatin1(word);
    static const QRegularExpression separators(QStringLiteral("[/?&=;]"));
    QStringList forms;
    for (const QUrl &url : requestUrls)
        forms += secretForms(url);
    for (const QString &form : std::as_const(forms)) {
        if (form.contains(text, Qt::CaseInsensitive))
            return false;
        // The other way round too: a key quoted inside the word.
        for (const QString &piece : form.split(separators, Qt::SkipEmptyParts)) {
            if (piece.size() >= ShortestSecretPiece && text.contains(piece, Qt::CaseInsensitive))
                return false;
        }
    }
    return true;
}

QString UpdateOutcome::describe(const QList<QUrl> &requestUrls) const
{
    QString text = QStringLiteral("HTTP %1, ").arg(m_httpStatus);
    if (m_word.isEmpty())
        return text + QStringLiteral("empty answer");
    if (!mayLogWord(m_word, requestUrls))
        return text + QStringLiteral("answer not shown");
    return text + QStringLiteral("answer \"%1\"").arg(QString::fromLatin1(m_word));
}

QString UpdateOutcome::failureReason(const QList<QUrl> &requestUrls) const
{
    if (m_interim)
        return QStringLiteral("HTTP %1, an interim answer without a final one").arg(m_httpStatus);
    if (!m_refused)
        return QStringLiteral("HTTP %1").arg(m_httpStatus);
    if (!mayLogWord(m_word, requestUrls))
        return QStringLiteral("refused by the service");
    return QStringLiteral("refused by the service (\"%1\")").arg(QString::fromLatin1(m_word));
}
