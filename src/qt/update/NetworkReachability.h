#ifndef TAVRIN_QT_UPDATE_NETWORKREACHABILITY_H
#define TAVRIN_QT_UPDATE_NETWORKREACHABILITY_H

#include <QObject>

// Tells when the network comes back, so a sync missed while it was away can be
// made at once instead of after the rest of the interval.
class NetworkReachability : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~NetworkReachability() override = default;

Q_SIGNALS:
    // The internet became reachable again after it was not.
    void becameReachable();
};

#endif
