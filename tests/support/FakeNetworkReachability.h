#ifndef TAVRIN_TESTS_FAKENETWORKREACHABILITY_H
#define TAVRIN_TESTS_FAKENETWORKREACHABILITY_H

#include "qt/update/NetworkReachability.h"

// A network whose return a test announces itself. It adds no signals of its
// own, so it needs no meta-object.
class FakeNetworkReachability : public NetworkReachability
{
public:
    using NetworkReachability::NetworkReachability;
    void comeBack() { Q_EMIT becameReachable(); }
};

#endif
