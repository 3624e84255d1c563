#include "qt/tray/TrayHostWatcher.h"

#include "qt/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString HostProperty = QStringLiteral("IsStatusNotifierHostRegistered");
// How long start-up waits for the bus's answer.
constexpr int StartAnswerMs = 1000;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The screen a connection opened from DISPLAY ("host:display.screen") uses.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}

xcb_atom_t atom(xcb_connection_t *connection, const QByteArray &name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, quint16(name.size()), name.data()), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QDBusMessage hostQuestion()
{
    QDBusMessage question = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    question << WatcherService << HostProperty;
    return question;
}

bool hostRegistered(const QDBusMessage &answer)
{
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return false;
    return qvariant_cast<QDBusVariant>(answer.arguments().first()).variant().toBool();
}

} // namespace

TrayHostWatcher::TrayHostWatcher(QObject *parent) : QObject(parent)
{
    if (const auto *x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        watchXEmbed(x11->connection());
    watchStatusNotifier();
    m_reported = available();
    qCDebug(lcTray) << "Tray host at start: XEmbed" << xembedAvailable() << "StatusNotifierItem"
                    << statusNotifierAvailable();
}

void TrayHostWatcher::watchXEmbed(xcb_connection_t *connection)
{
    if (!connection)
        return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int n = screenNumber(); n > 0 && screens.rem > 0; --n)
        xcb_screen_next(&screens);
    if (screens.rem <= 0)
        return;
    m_xcb = connection;
    m_root = screens.data->root;
    m_traySelection = atom(m_xcb, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber()));
    m_managerAtom = atom(m_xcb, "MANAGER");
    // A new tray announces itself to the root window's structure listeners.
    selectStructureEvents(m_root);
    QCoreApplication::instance()->installNativeEventFilter(this);
    findTrayOwner();
}

void TrayHostWatcher::selectStructureEvents(quint32 window)
{
    // Adds to what Qt listens for on the window instead of replacing it.
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_xcb, xcb_get_window_attributes(m_xcb, window), nullptr),
        &std::free);
    if (!attributes || (attributes->your_event_mask & XCB_EVENT_MASK_STRUCTURE_NOTIFY))
        return;
    const quint32 mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_xcb, window, XCB_CW_EVENT_MASK, &mask);
}

void TrayHostWatcher::findTrayOwner()
{
    // The owner may go between being found and being listened to; then it is
    // read again, until one is listened to for its whole life, or none is left.
    for (int tries = 0; tries < 3; ++tries) {
        const Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(m_xcb, xcb_get_selection_owner(m_xcb, m_traySelection),
                                          nullptr),
            &std::free);
        const quint32 found = owner ? owner->owner : quint32(XCB_WINDOW_NONE);
        if (found == m_trayOwner)
            return;
        m_trayOwner = found;
        if (found == XCB_WINDOW_NONE)
            return;
        qCDebug(lcTray) << "XEmbed tray window" << Qt::hex << found;
        selectStructureEvents(found);
    }
}

void TrayHostWatcher::watchStatusNotifier()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto *owners = new QDBusServiceWatcher(WatcherService, bus,
                                           QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &TrayHostWatcher::askStatusNotifierHost);
    // The watcher may come long before the tray that registers with it as host.
    for (const char *change : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        bus.connect(WatcherService, WatcherPath, WatcherService, QLatin1String(change), this,
                    SLOT(askStatusNotifierHost()));
    if (bus.interface()->isServiceRegistered(WatcherService))
        m_statusNotifierHost =
            hostRegistered(bus.call(hostQuestion(), QDBus::Block, StartAnswerMs));
}

void TrayHostWatcher::askStatusNotifierHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto *pending = new QDBusPendingCallWatcher(bus.asyncCall(hostQuestion()), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *answer) {
                answer->deleteLater();
                m_statusNotifierHost = hostRegistered(answer->reply());
                settle();
            });
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto *client = static_cast<const xcb_client_message_event_t *>(message);
        if (client->window == m_root && client->type == m_managerAtom &&
            client->data.data32[1] == m_traySelection)
            settleLater();
        break;
    }
    case XCB_DESTROY_NOTIFY:
        if (static_cast<const xcb_destroy_notify_event_t *>(message)->window == m_trayOwner)
            settleLater();
        break;
    default:
        break;
    }
    // Qt's own tray icon follows the tray by the same events.
    return false;
}

void TrayHostWatcher::settleLater()
{
    if (m_settlePending)
        return;
    m_settlePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_settlePending = false;
            findTrayOwner();
            settle();
        },
        Qt::QueuedConnection);
}

void TrayHostWatcher::settle()
{
    if (available() == m_reported)
        return;
    m_reported = available();
    qCInfo(lcTray) << (m_reported ? "A system tray appeared" : "The system tray went away")
                   << "- XEmbed" << xembedAvailable() << "StatusNotifierItem"
                   << statusNotifierAvailable();
    Q_EMIT availableChanged(m_reported);
}
