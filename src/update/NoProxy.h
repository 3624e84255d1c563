#ifndef TAVRIN_UPDATE_NOPROXY_H
#define TAVRIN_UPDATE_NOPROXY_H

#include <string_view>

// The no_proxy list as curl and wget read it: comma-separated entries, blanks
// around them ignored; "*" exempts every host; "example.org" and
// ".example.org" exempt that host and every host under it; an entry may name
// a port ("example.org:8080", "[::1]:8080"), and then exempts that port only.
// IP addresses are compared as written, without ranges.
namespace NoProxy {
// host: lower case, an IPv6 address without brackets.
bool exempts(std::string_view list, std::string_view host, int port);
} // namespace NoProxy

#endif
