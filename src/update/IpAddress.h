#ifndef TAVRIN_UPDATE_IPADDRESS_H
#define TAVRIN_UPDATE_IPADDRESS_H

#include <array>
#include <cstdint>
#include <string_view>

// Addresses as written in URLs and in services' answers.
namespace IpAddress {
// Dotted decimal, four parts of 0-255, no leading zeros.
bool parseIpv4(std::string_view text, std::array<int, 4> &parts);
// The eight groups of an IPv6 address, "::" once at most for at least one zero
// group; an IPv4 address may end it.
bool parseIpv6(std::string_view text, std::array<std::uint16_t, 8> &groups);
} // namespace IpAddress

#endif
