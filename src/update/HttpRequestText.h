#ifndef TAVRIN_UPDATE_HTTPREQUESTTEXT_H
#define TAVRIN_UPDATE_HTTPREQUESTTEXT_H

#include <string>

// The bytes of the update GET on the wire.
//
// The target is the URL's path and query as already percent-encoded; the
// request line names it alone (origin form), or the whole URL when the
// request goes to an HTTP proxy (absolute form). Host carries the port only
// when it is not the scheme's default. The connection closes after the
// answer, and the answer may come gzip- or deflate-coded.
class HttpRequestText
{
public:
    struct Target
    {
        std::string scheme; // "http" or "https"
        std::string host;   // as on the wire: ASCII, an IPv6 address without brackets
        int port = -1;      // -1 for the scheme's default
        std::string pathAndQuery;
    };

    // What the program calls itself in every request: its name and version.
    static const char *const UserAgent;

    // Empty when a part holds a byte that could break the request's lines
    // (a control character, a blank, or anything outside ASCII).
    // proxyAuthorization, where given, is sent to the HTTP proxy as it is.
    static std::string get(const Target &target, bool toHttpProxy, const std::string &userAgent,
                           const std::string &proxyAuthorization = std::string());

    // "host", "host:port" or "[v6]:port", as Host and the absolute form want it.
    static std::string authority(const Target &target);
};

#endif
