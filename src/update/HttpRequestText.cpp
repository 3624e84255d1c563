#include "update/HttpRequestText.h"

const char *const HttpRequestText::UserAgent = "TavrinConnector/" TAVRIN_VERSION;

namespace {

bool printable(const std::string &text)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f)
            return false;
    }
    return true;
}

int defaultPort(const std::string &scheme)
{
    return scheme == "https" ? 443 : 80;
}

} // namespace

std::string HttpRequestText::authority(const HttpRequestText::Target &target)
{
    std::string text =
        target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    if (target.port >= 0 && target.port != defaultPort(target.scheme))
        text += ":" + std::to_string(target.port);
    return text;
}

std::string HttpRequestText::get(const HttpRequestText::Target &target, bool toHttpProxy,
                                 const std::string &userAgent,
                                 const std::string &proxyAuthorization)
{
    if (target.host.empty() || !printable(target.host) || !printable(target.pathAndQuery) ||
        (target.scheme != "http" && target.scheme != "https"))
        return std::string();
    for (const std::string *value : {&userAgent, &proxyAuthorization}) {
        for (char c : *value) {
            if (c == '\r' || c == '\n' || c == '\0')
                return std::string();
        }
    }
    const std::string credentials = toHttpProxy && !proxyAuthorization.empty()
                                        ? "Proxy-Authorization: " + proxyAuthorization + "\r\n"
                                        : std::string();
    // "http://host" and "http://host?q" ask for the root.
    const std::string path = target.pathAndQuery.empty() || target.pathAndQuery.front() != '/'
                                 ? "/" + target.pathAndQuery
                                 : target.pathAndQuery;
    const std::string host = authority(target);
    const std::string requestTarget = toHttpProxy ? target.scheme + "://" + host + path : path;
    return "GET " + requestTarget + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" +
           "User-Agent: " + userAgent + "\r\n" + credentials + "Accept: */*\r\n" +
           "Accept-Encoding: gzip, deflate\r\n" + "Connection: close\r\n\r\n";
}
