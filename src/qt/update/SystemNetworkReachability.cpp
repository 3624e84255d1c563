#include "qt/update/SystemNetworkReachability.h"

#include "qt/Log.h"

SystemNetworkReachability::SystemNetworkReachability(Backends backends, QObject *parent)
    : NetworkReachability(parent)
{
    const bool loaded =
        backends == Backends::Any
            ? QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)
            : QNetworkInformation::loadBackendByName(u"networkmanager");
    if (!loaded) {
        qCDebug(lcUpdate) << "no network reachability backend"
                          << (backends == Backends::Any ? "at all" : "of a network manager");
        return;
    }
    QNetworkInformation *information = QNetworkInformation::instance();
    m_last = information->reachability();
    qCDebug(lcUpdate) << "network reachability from" << information->backendName() << "is"
                      << m_last;
    connect(information, &QNetworkInformation::reachabilityChanged, this,
            &SystemNetworkReachability::observe);
}

void SystemNetworkReachability::observe(Reachability now)
{
    const Reachability before = m_last;
    qCDebug(lcUpdate) << "network reachability" << before << "->" << now;
    if (now == Reachability::Unknown)
        return;
    m_last = now;
    if (now == Reachability::Online && before != Reachability::Unknown &&
        before != Reachability::Online) {
        qCInfo(lcUpdate) << "network reachable again";
        Q_EMIT becameReachable();
    }
}
