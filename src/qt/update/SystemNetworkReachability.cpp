#include "qt/update/SystemNetworkReachability.h"

#include "qt/Log.h"

SystemNetworkReachability::SystemNetworkReachability(QObject *parent) : NetworkReachability(parent)
{
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        qCDebug(lcUpdate) << "no network reachability backend; syncs keep to their interval";
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
