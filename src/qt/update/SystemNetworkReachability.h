#ifndef TAVRIN_QT_UPDATE_SYSTEMNETWORKREACHABILITY_H
#define TAVRIN_QT_UPDATE_SYSTEMNETWORKREACHABILITY_H

#include "qt/update/NetworkReachability.h"

#include <QNetworkInformation>

// The system's view of the network, through QNetworkInformation. Where no
// backend can report reachability this object stays silent: syncs then simply
// keep to their interval.
class SystemNetworkReachability : public NetworkReachability
{
    Q_OBJECT
public:
    using Reachability = QNetworkInformation::Reachability;

    explicit SystemNetworkReachability(QObject *parent = nullptr);

    // True when going from one reachability to the next means the internet is
    // back: Online after Disconnected, Local or Site. Unknown is no loss, so a
    // backend settling from Unknown to Online at start-up is no return.
    static bool isReturn(Reachability from, Reachability to);

    // False when no backend could be loaded.
    bool isMonitoring() const { return m_monitoring; }

    // The system reports a new reachability; emits becameReachable() on a
    // return. A spell of Unknown in between does not hide a loss.
    void observe(Reachability now);

private:
    Reachability m_last = Reachability::Unknown;
    bool m_monitoring = false;
};

#endif
