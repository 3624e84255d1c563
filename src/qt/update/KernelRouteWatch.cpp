#include "qt/update/KernelRouteWatch.h"

#include "qt/Log.h"

#include <QSocketNotifier>

#include <linux/filter.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned Groups =
    RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;

// Netlink fields are in the machine's byte order; the filter reads single bytes.
constexpr unsigned lowByte(unsigned offset, unsigned size)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    (void)size;
    return offset;
#else
    return offset + size - 1;
#endif
}

constexpr unsigned Body = NLMSG_HDRLEN;
constexpr unsigned Attributes = Body + NLMSG_ALIGN(sizeof(ifinfomsg));

// Classic BPF with jumps to named places, resolved at the end.
class FilterCode
{
public:
    enum Place
    {
        Accept,
        Drop,
        Route,
        Address,
        Link,
        Wireless,
        Places
    };

    void load(std::uint16_t mode, std::uint32_t k) { add(BPF_LD | mode, k); }
    void add(std::uint16_t code, std::uint32_t k) { m_code.push_back({code, 0, 0, k}); }
    // To yes when the test holds, else to no (-1: the next instruction).
    void jump(std::uint16_t test, std::uint32_t k, int yes, int no = -1)
    {
        m_jumps.push_back({m_code.size(), yes, no});
        add(static_cast<std::uint16_t>(BPF_JMP | test | BPF_K), k);
    }
    void place(Place where) { m_places[where] = m_code.size(); }
    std::vector<sock_filter> done()
    {
        for (const JumpAt &j : m_jumps) {
            const auto to = [&](int where) {
                return where < 0 ? 0 : static_cast<std::uint8_t>(m_places[where] - j.at - 1);
            };
            m_code[j.at].jt = to(j.yes);
            m_code[j.at].jf = to(j.no);
        }
        return m_code;
    }

private:
    struct JumpAt
    {
        std::size_t at;
        int yes;
        int no;
    };
    std::vector<sock_filter> m_code;
    std::vector<JumpAt> m_jumps;
    std::size_t m_places[Places] = {};
};

// Links watched one by one; past that many, all of them.
constexpr std::size_t MostLinks = 16;

// The kernel drops, before the program wakes: routes other than default
// unicast ones, addresses of host or link scope, news of links that carry no
// default route (when at most MostLinks do) and a link's wireless events (the
// only link messages whose second attribute, after the name, is IFLA_WIRELESS).
// Table readings pass whole.
std::vector<sock_filter> changeFilter(const std::vector<int> &links)
{
    using F = FilterCode;
    F f;
    f.load(BPF_B | BPF_ABS, lowByte(offsetof(nlmsghdr, nlmsg_flags), 2));
    f.jump(BPF_JSET, NLM_F_MULTI, F::Accept);
    f.load(BPF_B | BPF_ABS, lowByte(offsetof(nlmsghdr, nlmsg_type), 2));
    f.jump(BPF_JEQ, RTM_NEWROUTE, F::Route);
    f.jump(BPF_JEQ, RTM_DELROUTE, F::Route);
    f.jump(BPF_JEQ, RTM_NEWADDR, F::Address);
    f.jump(BPF_JEQ, RTM_DELADDR, F::Address);
    f.jump(BPF_JEQ, RTM_NEWLINK, F::Link);
    f.jump(BPF_JEQ, RTM_DELLINK, F::Link, F::Accept);

    f.place(F::Route);
    f.load(BPF_B | BPF_ABS, Body + offsetof(rtmsg, rtm_dst_len));
    f.jump(BPF_JEQ, 0, -1, F::Drop);
    f.load(BPF_B | BPF_ABS, Body + offsetof(rtmsg, rtm_type));
    f.jump(BPF_JEQ, RTN_UNICAST, F::Accept, F::Drop);

    f.place(F::Address);
    f.load(BPF_B | BPF_ABS, Body + offsetof(ifaddrmsg, ifa_scope));
    f.jump(BPF_JEQ, RT_SCOPE_UNIVERSE, F::Accept, F::Drop);

    f.place(F::Link);
    if (links.size() <= MostLinks) {
        // A word load reads big-endian.
        f.load(BPF_W | BPF_ABS, Body + offsetof(ifinfomsg, ifi_index));
        for (int link : links)
            f.jump(BPF_JEQ, htonl(static_cast<std::uint32_t>(link)), F::Wireless);
        f.add(BPF_RET | BPF_K, 0);
    }
    f.place(F::Wireless);
    f.load(BPF_B | BPF_ABS, lowByte(Attributes + offsetof(rtattr, rta_len), 2));
    f.add(BPF_ALU | BPF_ADD | BPF_K, RTA_ALIGNTO - 1);
    f.add(BPF_ALU | BPF_AND | BPF_K, ~(RTA_ALIGNTO - 1u));
    f.add(BPF_MISC | BPF_TAX, 0);
    f.load(BPF_B | BPF_IND, lowByte(Attributes + offsetof(rtattr, rta_type), 2));
    f.jump(BPF_JEQ, IFLA_WIRELESS, F::Drop, F::Accept);

    f.place(F::Accept);
    f.add(BPF_RET | BPF_K, 0xffffffffu);
    f.place(F::Drop);
    f.add(BPF_RET | BPF_K, 0);
    return f.done();
}

IpFamily familyOf(unsigned char family)
{
    return family == AF_INET ? IpFamily::V4 : IpFamily::V6;
}

// The route's next hops: their links and whether some of them has carrier.
void readNextHops(const rtmsg *route, unsigned length, RouteFacts &facts)
{
    constexpr unsigned Down = RTNH_F_LINKDOWN | RTNH_F_DEAD;
    facts.carrier = !(route->rtm_flags & Down);
    int left = static_cast<int>(length);
    for (auto *a = RTM_RTA(route); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(int)) {
            int link = 0;
            std::memcpy(&link, RTA_DATA(a), sizeof(link));
            facts.links.push_back(link);
        } else if (a->rta_type == RTA_MULTIPATH) {
            facts.carrier = false;
            int hops = static_cast<int>(RTA_PAYLOAD(a));
            for (auto *hop = static_cast<const rtnexthop *>(RTA_DATA(a)); RTNH_OK(hop, hops);
                 hops -= RTNH_ALIGN(hop->rtnh_len), hop = RTNH_NEXT(hop)) {
                facts.links.push_back(hop->rtnh_ifindex);
                if (!(hop->rtnh_flags & Down))
                    facts.carrier = true;
            }
        }
    }
}

AddressFacts addressFacts(const ifaddrmsg *message, unsigned length)
{
    AddressFacts facts;
    facts.family = familyOf(message->ifa_family);
    facts.universeScope = message->ifa_scope == RT_SCOPE_UNIVERSE;
    std::uint32_t flags = message->ifa_flags;
    const rtattr *local = nullptr;
    const rtattr *address = nullptr;
    int left = static_cast<int>(length);
    for (auto *a = IFA_RTA(message); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        if (a->rta_type == IFA_LOCAL)
            local = a;
        else if (a->rta_type == IFA_ADDRESS)
            address = a;
        else if (a->rta_type == IFA_FLAGS && RTA_PAYLOAD(a) >= sizeof(flags))
            std::memcpy(&flags, RTA_DATA(a), sizeof(flags));
    }
    facts.tentative = flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED);
    // On a point-to-point link IFA_ADDRESS is the other end.
    if (const rtattr *own = local ? local : address) {
        std::memcpy(facts.bytes.data(), RTA_DATA(own),
                    std::min<std::size_t>(RTA_PAYLOAD(own), facts.bytes.size()));
    } else {
        facts.universeScope = false;
    }
    return facts;
}

} // namespace

KernelRouteWatch::KernelRouteWatch(QObject *parent) : NetworkReachability(parent)
{
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (m_fd < 0) {
        fail("open", errno);
        return;
    }
    // Before bind, so that nothing unfiltered is queued.
    filterLinks({});
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = Groups;
    socklen_t size = sizeof(address);
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        fail("bind", errno);
        return;
    }
    m_port = address.nl_pid;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &KernelRouteWatch::readMessages);
    readTablesAgain();
}

KernelRouteWatch::~KernelRouteWatch()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void KernelRouteWatch::filterLinks(const std::vector<int> &links)
{
    std::vector<sock_filter> filter = changeFilter(links);
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    if (::setsockopt(m_fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof(program)) == 0) {
        m_filteredLinks = links;
        return;
    }
    // Unfiltered, every change has the tables read; that costs more, not more syncs.
    qCDebug(lcUpdate) << "routing messages unfiltered:" << std::strerror(errno);
    m_filtering = false;
}

void KernelRouteWatch::fail(const char *what, int error)
{
    qCWarning(lcUpdate).nospace() << "the kernel's routing messages cannot be read (" << what
                                  << ": " << std::strerror(error)
                                  << "); the network's return is told by the system's network "
                                     "information alone";
    // Possibly called from the notifier's own signal.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void KernelRouteWatch::readTablesAgain()
{
    if (m_reading != Reading::None) {
        m_readAgain = true;
        return;
    }
    m_readAgain = false;
    m_connectivity.startReading();
    if (requestTable(RTM_GETADDR))
        m_reading = Reading::Addresses;
}

bool KernelRouteWatch::requestTable(int type)
{
    struct
    {
        nlmsghdr header;
        rtmsg body; // the larger of the two requests' bodies; AF_UNSPEC: every family
    } request{};
    request.header.nlmsg_len =
        NLMSG_LENGTH(type == RTM_GETADDR ? sizeof(ifaddrmsg) : sizeof(rtmsg));
    request.header.nlmsg_type = static_cast<std::uint16_t>(type);
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++m_sequence;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr *>(&kernel),
                 sizeof(kernel)) < 0) {
        fail("ask", errno);
        return false;
    }
    return true;
}

void KernelRouteWatch::readMessages()
{
    // Table readings come in parts sized to what the reader takes.
    alignas(nlmsghdr) static char buffer[32 * 1024];
    while (m_fd >= 0) {
        iovec part{buffer, sizeof(buffer)};
        msghdr received{};
        received.msg_iov = &part;
        received.msg_iovlen = 1;
        const ssize_t size = ::recvmsg(m_fd, &received, 0);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            if (errno != ENOBUFS) {
                fail("read", errno);
                return;
            }
            // Messages were lost: only a fresh reading tells where things stand.
            qCDebug(lcUpdate) << "routing messages overran; reading the tables again";
            readTablesAgain();
            continue;
        }
        if (received.msg_flags & MSG_TRUNC) {
            readTablesAgain();
            continue;
        }
        int left = static_cast<int>(size);
        for (auto *m = reinterpret_cast<const nlmsghdr *>(buffer); NLMSG_OK(m, left);
             m = NLMSG_NEXT(m, left)) {
            if (!handle(m, m->nlmsg_len))
                return;
        }
    }
}

bool KernelRouteWatch::handle(const void *message, unsigned length)
{
    const auto *m = static_cast<const nlmsghdr *>(message);
    const bool ours =
        m->nlmsg_pid == m_port && m->nlmsg_seq == m_sequence && m_reading != Reading::None;
    if (!ours) {
        switch (m->nlmsg_type) {
        case RTM_NEWROUTE:
        case RTM_DELROUTE:
        case RTM_NEWADDR:
        case RTM_DELADDR:
        case RTM_NEWLINK:
        case RTM_DELLINK:
            readTablesAgain();
            return m_fd >= 0;
        default:
            return true;
        }
    }
    switch (m->nlmsg_type) {
    case NLMSG_ERROR: {
        const auto *error = static_cast<const nlmsgerr *>(NLMSG_DATA(m));
        if (length < NLMSG_LENGTH(sizeof(nlmsgerr)) || error->error == 0)
            return true;
        fail("table", -error->error);
        return false;
    }
    case NLMSG_DONE:
        if (m_reading == Reading::Addresses) {
            if (!requestTable(RTM_GETROUTE))
                return false;
            m_reading = Reading::Routes;
        } else {
            m_reading = Reading::None;
            tablesRead();
        }
        return m_fd >= 0;
    case RTM_NEWADDR:
        if (length >= NLMSG_LENGTH(sizeof(ifaddrmsg))) {
            const auto *a = static_cast<const ifaddrmsg *>(NLMSG_DATA(m));
            if (a->ifa_family == AF_INET || a->ifa_family == AF_INET6)
                m_connectivity.address(addressFacts(a, IFA_PAYLOAD(m)));
        }
        return true;
    case RTM_NEWROUTE:
        if (length >= NLMSG_LENGTH(sizeof(rtmsg))) {
            const auto *r = static_cast<const rtmsg *>(NLMSG_DATA(m));
            if ((r->rtm_family == AF_INET || r->rtm_family == AF_INET6) &&
                !(r->rtm_flags & RTM_F_CLONED)) {
                RouteFacts facts;
                facts.family = familyOf(r->rtm_family);
                facts.prefixLength = r->rtm_dst_len;
                facts.unicast = r->rtm_type == RTN_UNICAST;
                readNextHops(r, RTM_PAYLOAD(m), facts);
                m_connectivity.route(facts);
            }
        }
        return true;
    default:
        return true;
    }
}

void KernelRouteWatch::tablesRead()
{
    const bool wasKnown = m_connectivity.known();
    const bool wasConnected = m_connectivity.connected();
    const bool back = m_connectivity.finishReading();
    const bool connected = m_connectivity.connected();
    if (!wasKnown)
        qCDebug(lcUpdate) << "routing tables read:"
                          << (connected ? "connected" : "no connectivity");
    else if (wasConnected && !connected)
        qCInfo(lcUpdate) << "network lost: no default route with a global address";
    else if (!back)
        qCDebug(lcUpdate) << "routing tables read again: nothing changed";
    if (m_filtering && m_connectivity.defaultRouteLinks() != m_filteredLinks)
        filterLinks(m_connectivity.defaultRouteLinks());
    if (m_readAgain)
        readTablesAgain();
    if (back) {
        qCInfo(lcUpdate) << "network back: a default route with a global address again";
        Q_EMIT becameReachable();
    }
}
