#ifndef TAVRIN_UPDATE_UPDATEURL_H
#define TAVRIN_UPDATE_UPDATEURL_H

#include <QString>
#include <QUrl>

// The update URL in its three forms: the text kept in the settings (base URL
// followed by the key, exactly as typed), the URL put on the wire, and the
// part of it that may appear in a log.
class UpdateUrl
{
public:
    // baseUrl followed by key, unchanged: no trimming, no encoding.
    static QString compose(const QString &baseUrl, const QString &key);

    // The base URL compiled into the program.
    static QString baseUrl();

    // The URL as it is requested. The stored text keeps every character; on
    // the wire a space becomes %20, characters a URL cannot hold (control
    // characters among them) are percent-encoded, and everything already valid,
    // slashes included, stays as it is. A '#' starts the fragment, which is
    // never sent. Returns an invalid QUrl unless the text is an absolute http
    // or https URL with a host.
    static QUrl toRequestUrl(const QString &updateUrl);

    // "scheme://host[:port]" for the log; the rest of the URL holds the key.
    static QString redacted(const QUrl &url);
};

#endif
