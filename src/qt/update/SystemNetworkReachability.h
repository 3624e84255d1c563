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
    // Which of Qt's backends may be used: any that reports reachability, or a
    // network manager's only. The others (glib) read the kernel's routing
    // messages themselves, unfiltered, and wake the program for every one.
    enum class Backends
    {
        Any,
        NetworkManager
    };

    explicit SystemNetworkReachability(Backends backends = Backends::Any,
                                       QObject *parent = nullptr);

    // The system reports a new reachability; emits becameReachable() when the
    // internet is back: Online after Disconnected, Local or Site. Unknown is no
    // loss, so a backend settling from Unknown to Online at start-up is no
    // return, and a spell of Unknown in between does not hide a loss.
    void observe(Reachability now);

private:
    Reachability m_last = Reachability::Unknown;
};

#endif
