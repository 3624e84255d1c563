#include "qt/update/JoinedNetworkReachability.h"

#include "qt/Log.h"

JoinedNetworkReachability::JoinedNetworkReachability(const Clock &clock, QObject *parent)
    : NetworkReachability(parent), m_join(clock)
{
}

void JoinedNetworkReachability::add(NetworkReachability *source)
{
    source->setParent(this);
    const int number = m_sources++;
    connect(source, &NetworkReachability::becameReachable, this, [this, number] {
        if (m_join.returned(number))
            Q_EMIT becameReachable();
        else
            qCDebug(lcUpdate) << "the same return told again; no second sync";
    });
}
