#ifndef TAVRIN_UPDATE_UPDATEURL_H
#define TAVRIN_UPDATE_UPDATEURL_H

#include <optional>
#include <string>

// The update URL in its three forms: the text kept in the settings (base URL
// followed by the key, exactly as typed), the URL put on the wire, and the
// part of it that may appear in a log. All text is UTF-8.
class UpdateUrl
{
public:
    // The URL as it goes on the wire: every part ASCII, nothing left to encode.
    struct RequestUrl
    {
        std::string scheme; // "http" or "https"
        std::string host;   // lower case; an IPv6 address without brackets
        int port = -1;      // -1 when the URL names none
        std::string target; // path and query as sent; "/" for an empty path
        std::string url;    // scheme://host[:port] followed by the target
    };

    // baseUrl followed by key, unchanged: no trimming, no encoding.
    static std::string compose(const std::string &baseUrl, const std::string &key);

    // The base URL compiled into the program.
    static std::string baseUrl();

    // The URL as it is requested. The stored text keeps every character; on
    // the wire a space becomes %20, characters a URL cannot hold (control
    // characters and non-ASCII among them) are percent-encoded as UTF-8 bytes,
    // a '%' that starts no %XX escape becomes %25, and everything already
    // valid, slashes and escapes included, stays as it is. A '#' starts the
    // fragment, which is never sent, and user info is dropped. Empty unless
    // the text is an absolute http or https URL with a host: a name of ASCII
    // letters, digits, '-', '_' and dots, an IPv4 address in dotted decimal,
    // or an IPv6 address in brackets.
    static std::optional<RequestUrl> toRequestUrl(const std::string &updateUrl);

    // "scheme://host[:port]" for the log; the rest of the URL holds the key.
    static std::string redacted(const std::optional<RequestUrl> &url);
};

#endif
