#include "update/UpdateUrl.h"

QString UpdateUrl::compose(const QString &baseUrl, const QString &key)
{
    return baseUrl + key;
}

QString UpdateUrl::baseUrl()
{
    return QString::fromUtf8(TAVRIN_UPDATE_BASE_URL);
}

QUrl UpdateUrl::toRequestUrl(const QString &updateUrl)
{
    // Tolerant parsing percent-encodes spaces, control characters and the other
    // characters a URL cannot hold, and turns a stray '%' into %25; valid escapes
    // and reserved characters are kept. Control characters in the authority make
    // the URL invalid instead, which the checks below refuse.
    const QUrl url(updateUrl, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative())
        return QUrl();
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QUrl();
    if (url.host().isEmpty())
        return QUrl();
    return url;
}

QString UpdateUrl::redacted(const QUrl &url)
{
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return QStringLiteral("(no valid URL)");
    // Only scheme, host and port survive; user info, path, query and fragment can
    // all carry the key.
    return url.toString(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery |
                        QUrl::RemoveFragment);
}
