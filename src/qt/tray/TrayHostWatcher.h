#ifndef TAVRIN_QT_TRAY_TRAYHOSTWATCHER_H
#define TAVRIN_QT_TRAY_TRAYHOSTWATCHER_H

#include <QAbstractNativeEventFilter>
#include <QObject>

struct xcb_connection_t;

// Whether a notification area exists, and when that changes: an XEmbed tray on
// X11 (the owner of the screen's tray selection) or a StatusNotifierItem host on
// the session bus. Told by the X server and the bus as it happens; nothing is
// polled, so a program hidden in the tray is not woken by it.
class TrayHostWatcher : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit TrayHostWatcher(QObject *parent = nullptr);

    bool available() const { return xembedAvailable() || statusNotifierAvailable(); }
    bool xembedAvailable() const { return m_trayOwner != 0; }
    bool statusNotifierAvailable() const { return m_statusNotifierHost; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    // Sent after the event that caused it has reached the rest of Qt as well.
    void availableChanged(bool available);

private Q_SLOTS:
    void askStatusNotifierHost();

private:
    void watchXEmbed(xcb_connection_t *connection);
    void watchStatusNotifier();
    // Reads the tray selection's owner and asks to hear of its end.
    void findTrayOwner();
    void selectStructureEvents(quint32 window);
    // Re-reads what an event may have changed, once the event is handled.
    void settleLater();
    void settle();

    xcb_connection_t *m_xcb = nullptr;
    quint32 m_root = 0;
    quint32 m_traySelection = 0;
    quint32 m_managerAtom = 0;
    quint32 m_trayOwner = 0;
    bool m_statusNotifierHost = false;
    bool m_reported = false;
    bool m_settlePending = false;
};

#endif
