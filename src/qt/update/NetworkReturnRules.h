#ifndef TAVRIN_QT_UPDATE_NETWORKRETURNRULES_H
#define TAVRIN_QT_UPDATE_NETWORKRETURNRULES_H

#include <array>
#include <cstdint>
#include <vector>

class Clock;

// What the watchers decide, kept apart from sockets and Qt so that tests can
// feed it plain facts.

enum class IpFamily
{
    V4,
    V6
};

// An address of this machine as the kernel lists it.
struct AddressFacts
{
    IpFamily family = IpFamily::V4;
    std::array<std::uint8_t, 16> bytes{}; // IPv4 in the first four
    bool universeScope = true;            // not host or link scope
    bool tentative = false;               // duplicate detection running or failed
};

// A route as the kernel lists it.
struct RouteFacts
{
    IpFamily family = IpFamily::V4;
    int prefixLength = 0;
    bool unicast = true;    // not unreachable, blackhole, prohibit, local, ...
    bool carrier = true;    // some next hop on a link with carrier
    std::vector<int> links; // the links of its next hops, by interface index
};

// Whether the machine can reach beyond its own links: some family has a
// default route with a live next hop and a global address to send from.
// Connectivity appearing after none is the network coming back; the first
// reading only tells where things stand.
class RoutingConnectivity
{
public:
    // An address other machines can answer: not loopback, link-local,
    // unspecified or still being checked for duplicates.
    static bool isGlobal(const AddressFacts &address);

    // A fresh reading of the kernel's tables begins.
    void startReading();
    void address(const AddressFacts &address);
    void route(const RouteFacts &route);
    // The reading is complete: true when connectivity appeared after none.
    bool finishReading();

    bool known() const { return m_known; }
    bool connected() const { return m_connected; }
    // The links default routes of the last complete reading go over, with or
    // without carrier: only a change of theirs can take those routes away
    // unannounced or give them back. Sorted, each once.
    const std::vector<int> &defaultRouteLinks() const { return m_links; }

private:
    struct Seen
    {
        bool defaultRoute = false;
        bool globalAddress = false;
    };
    Seen &seen(IpFamily family) { return family == IpFamily::V4 ? m_v4 : m_v6; }

    Seen m_v4;
    Seen m_v6;
    std::vector<int> m_readingLinks;
    std::vector<int> m_links;
    bool m_known = false;
    bool m_connected = false;
};

// Two watchers may both see one return, seconds apart (the kernel's routes at
// once, the system's network information after its own check). A return seen
// by one within SameReturnMs of a return passed on from the other is that same
// return; each watcher's own returns all count.
class NetworkReturnJoin
{
public:
    static constexpr std::int64_t SameReturnMs = 60 * 1000;

    // The clock must outlive the join.
    explicit NetworkReturnJoin(const Clock &clock) : m_clock(clock) {}
    // Watcher `source` saw the network come back: true when this is a new return.
    bool returned(int source);

private:
    const Clock &m_clock;
    bool m_any = false;
    int m_lastSource = 0;
    std::int64_t m_lastMs = 0;
};

#endif
