#include "qt/update/NetworkReturnRules.h"

#include "base/Clock.h"

#include <algorithm>

bool RoutingConnectivity::isGlobal(const AddressFacts &address)
{
    if (!address.universeScope || address.tentative)
        return false;
    const auto &b = address.bytes;
    if (address.family == IpFamily::V4) {
        const bool unspecified = b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0;
        const bool loopback = b[0] == 127;
        const bool linkLocal = b[0] == 169 && b[1] == 254;
        return !unspecified && !loopback && !linkLocal;
    }
    const bool zeroFirst15 = std::all_of(b.begin(), b.end() - 1, [](auto x) { return x == 0; });
    const bool unspecifiedOrLoopback = zeroFirst15 && b[15] <= 1;
    const bool linkLocal = b[0] == 0xfe && (b[1] & 0xc0) == 0x80;
    const bool multicast = b[0] == 0xff;
    return !unspecifiedOrLoopback && !linkLocal && !multicast;
}

void RoutingConnectivity::startReading()
{
    m_v4 = Seen();
    m_v6 = Seen();
    m_readingLinks.clear();
}

void RoutingConnectivity::address(const AddressFacts &address)
{
    if (isGlobal(address))
        seen(address.family).globalAddress = true;
}

void RoutingConnectivity::route(const RouteFacts &route)
{
    if (route.prefixLength != 0 || !route.unicast)
        return;
    m_readingLinks.insert(m_readingLinks.end(), route.links.begin(), route.links.end());
    if (route.carrier)
        seen(route.family).defaultRoute = true;
}

bool RoutingConnectivity::finishReading()
{
    const auto usable = [](const Seen &s) { return s.defaultRoute && s.globalAddress; };
    const bool now = usable(m_v4) || usable(m_v6);
    const bool appeared = m_known && now && !m_connected;
    m_known = true;
    m_connected = now;
    std::sort(m_readingLinks.begin(), m_readingLinks.end());
    m_readingLinks.erase(std::unique(m_readingLinks.begin(), m_readingLinks.end()),
                         m_readingLinks.end());
    m_links.swap(m_readingLinks);
    return appeared;
}

bool NetworkReturnJoin::returned(int source)
{
    const std::int64_t now = m_clock.nowMs();
    if (m_any && source != m_lastSource && now - m_lastMs < SameReturnMs)
        return false;
    m_any = true;
    m_lastSource = source;
    m_lastMs = now;
    return true;
}
