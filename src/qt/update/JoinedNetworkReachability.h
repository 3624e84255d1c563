#ifndef TAVRIN_QT_UPDATE_JOINEDNETWORKREACHABILITY_H
#define TAVRIN_QT_UPDATE_JOINEDNETWORKREACHABILITY_H

#include "qt/update/NetworkReachability.h"
#include "qt/update/NetworkReturnRules.h"

// Several watchers of the network's return as one: a return that two of them
// see is told once (NetworkReturnJoin).
class JoinedNetworkReachability : public NetworkReachability
{
    Q_OBJECT
public:
    // The clock must outlive this object.
    explicit JoinedNetworkReachability(const Clock &clock, QObject *parent = nullptr);

    // Listens to source, which this object then owns.
    void add(NetworkReachability *source);

private:
    NetworkReturnJoin m_join;
    int m_sources = 0;
};

#endif
