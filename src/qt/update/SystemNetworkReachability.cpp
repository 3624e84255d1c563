#include "qt/update/SystemNetworkReachability.h"

#include "qt/Log.h"

SystemNetworkReachability::SystemNetworkReachability(QObject *parent) : NetworkReachability(parent)
{
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        qCDebug(lcUpdate) << "no network reachability backend; syncs keep to their interval";
        return;
    }
    QNetworkInformation *information = QNetworkInformation::instance();
    m_monitoring = true;
    m_last = information->reachability();
    qCDebug(lcUpdate) << "network reachability from" << information->backendName() << "is"
                      << m_last;
    connect(information, &QNetworkInformation::reachabilityChanged, this,
            &SystemNetworkReachability::observe);
}

bool SystemNetworkReachability::isReturn(Reachability from, Reachability to)
{
    switch (from) {
    case Reachability::Disconnected:
    case Reachability::Local:
    case Reachability::Site:
        return to == Reachability::Online;
    case Reachability::Unknown:
    case Reachability::Online:
        return false;
    }
    return false;
}

void SystemNetworkReachability::observe(Reachability now)
{
    const Reachability before = m_last;
    qCDebug(lcUpdate) << "network reachability" << before << "->" << now;
    if (now == Reachability::Unknown)
        return;
    m_last = now;
    if (isReturn(before, now)) {
        qCInfo(lcUpdate) << "network reachable again";
        Q_EMIT becameReachable();
    }
}
