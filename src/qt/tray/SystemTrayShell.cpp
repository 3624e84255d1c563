#include "qt/tray/SystemTrayShell.h"

#include "qt/CoreTypes.h"
#include "qt/Log.h"
#include "qt/tray/TrayHostWatcher.h"
#include "tray/MouseMessage.h"

#include <QMenu>

#include <utility>

namespace {
// The mouse message number that stands for an activation reported by Qt.
int mouseMessageFor(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        return MouseMessage::RightButtonDown;
    case QSystemTrayIcon::DoubleClick:
        return MouseMessage::LeftButtonDoubleClick;
    case QSystemTrayIcon::Trigger:
        return MouseMessage::LeftButtonUp;
    case QSystemTrayIcon::MiddleClick:
        return MouseMessage::MiddleButtonUp;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return MouseMessage::Move;
}
} // namespace

SystemTrayShell::SystemTrayShell(const PictureRegistry &pictures, QObject *parent)
    : QObject(parent), m_pictures(pictures), m_hostWatcher(new TrayHostWatcher(this))
{
    connect(m_hostWatcher, &TrayHostWatcher::availableChanged, this, &SystemTrayShell::hostChanged);
    if (m_hostWatcher->available())
        createIcon();
}

void SystemTrayShell::createIcon()
{
    m_icon = new QSystemTrayIcon(this);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                reportMouseMessage(mouseMessageFor(reason));
            });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this,
            [this] { reportMouseMessage(MouseMessage::NotificationClick); });
}

void SystemTrayShell::hostChanged(bool available)
{
    // A visible XEmbed icon docks again by itself when a tray comes back; one
    // that was never made is made now, with the kind of tray that is there.
    if (available && !m_icon) {
        createIcon();
        if (const std::optional<TrayIconRecord> record = std::exchange(m_addedWithoutIcon, {}))
            add(*record);
    }
    reportHostAvailability(available);
}

bool SystemTrayShell::hostAvailable() const
{
    return m_hostWatcher->available();
}

void SystemTrayShell::notify(TrayMessage message, const TrayIconRecord &record)
{
    switch (message) {
    case TrayMessage::Add:
        add(record);
        return;
    case TrayMessage::Modify:
        modify(record);
        return;
    case TrayMessage::Delete:
        remove();
        return;
    }
    qCWarning(lcTray) << "Ignoring unknown tray message" << static_cast<quint32>(message);
}

void SystemTrayShell::showNotification(const std::string &title, const std::string &text,
                                       NotificationIcon icon)
{
    // A shown window speaks for itself; without an icon there is nothing to point from.
    if (!isShown())
        return;
    m_icon->showMessage(QString::fromStdString(title), QString::fromStdString(text),
                        icon == NotificationIcon::Warning ? QSystemTrayIcon::Warning
                                                          : QSystemTrayIcon::Information);
}

void SystemTrayShell::setContextMenu(QMenu *menu)
{
    m_menu = menu;
    if (m_icon)
        m_icon->setContextMenu(menu);
}

void SystemTrayShell::add(const TrayIconRecord &record)
{
    if (!m_icon) {
        // Kept, and shown once a tray appears, so this is only noted.
        if (!m_reportedNoTray)
            qCWarning(lcTray) << "No system tray available; the tray icon stays hidden";
        m_reportedNoTray = true;
        m_addedWithoutIcon = record;
        return;
    }
    applyPicture(record.hIcon);
    m_icon->setToolTip(toQt(record.tipText()));
    m_icon->show();
    qCDebug(lcTray) << "Tray icon added, picture" << record.hIcon;
}

void SystemTrayShell::modify(const TrayIconRecord &record)
{
    if (m_addedWithoutIcon)
        m_addedWithoutIcon->hIcon = record.hIcon;
    if (!isShown())
        return;
    applyPicture(record.hIcon);
    qCDebug(lcTray) << "Tray icon changed, picture" << record.hIcon;
}

void SystemTrayShell::remove()
{
    m_addedWithoutIcon.reset();
    if (!isShown())
        return;
    m_icon->hide();
    qCDebug(lcTray) << "Tray icon removed";
}

void SystemTrayShell::applyPicture(quint32 handle)
{
    // Every sync refreshes the icon; only a new picture is worth redrawing the tray for.
    if (handle == m_pictureHandle)
        return;
    if (!m_pictures.contains(handle)) {
        qCWarning(lcTray) << "Unknown picture handle" << handle << "- keeping the previous picture";
        return;
    }
    m_icon->setIcon(m_pictures.icon(handle));
    m_pictureHandle = handle;
}
