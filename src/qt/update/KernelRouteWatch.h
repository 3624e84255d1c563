#ifndef TAVRIN_QT_UPDATE_KERNELROUTEWATCH_H
#define TAVRIN_QT_UPDATE_KERNELROUTEWATCH_H

#include "qt/update/NetworkReachability.h"
#include "qt/update/NetworkReturnRules.h"

#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;

// Tells when the network comes back from the kernel's own routing messages
// (rtnetlink), so it works without a network manager. A socket in the event
// loop hears of changed routes, addresses and links; the kernel's filter on it
// drops what cannot matter (other routes than default ones, host and link
// scope addresses, links without a default route, wireless chatter), and each
// message that passes has the tables read again, which is where connectivity
// is decided. Should the socket
// fail, the watch says so once and stays silent.
class KernelRouteWatch : public NetworkReachability
{
    Q_OBJECT
public:
    explicit KernelRouteWatch(QObject *parent = nullptr);
    ~KernelRouteWatch() override;

    // False once the kernel's messages cannot be read.
    bool watching() const { return m_fd >= 0; }

private:
    enum class Reading
    {
        None,
        Addresses,
        Routes
    };

    void readMessages();
    // Reads the tables again, now or once the reading under way ends.
    void readTablesAgain();
    bool requestTable(int type);
    // One message; false when the watch had to stop.
    bool handle(const void *message, unsigned length);
    void tablesRead();
    // Lets news of these links through the kernel's filter (the default routes' links).
    void filterLinks(const std::vector<int> &links);
    void fail(const char *what, int error);

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    RoutingConnectivity m_connectivity;
    Reading m_reading = Reading::None;
    bool m_readAgain = false;
    std::uint32_t m_sequence = 0;
    std::uint32_t m_port = 0;
    std::vector<int> m_filteredLinks;
    bool m_filtering = true;
};

#endif
