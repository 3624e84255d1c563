#ifndef TAVRIN_QT_TRAY_SYSTEMTRAYSHELL_H
#define TAVRIN_QT_TRAY_SYSTEMTRAYSHELL_H

#include "qt/tray/PictureRegistry.h"
#include "tray/TrayShell.h"

#include <QSystemTrayIcon>

#include <optional>

class QMenu;

class TrayHostWatcher;

// The tray shell over the desktop's notification area. Everything it shows is
// taken from the record it is handed: the picture by handle, the tip text. It
// tells when a notification area appears or goes away.
class SystemTrayShell : public QObject, public TrayShell
{
    Q_OBJECT
public:
    explicit SystemTrayShell(const PictureRegistry &pictures, QObject *parent = nullptr);

    void notify(TrayMessage message, const TrayIconRecord &record) override;
    bool hostAvailable() const override;
    void showNotification(const std::string &title, const std::string &text,
                          NotificationIcon icon) override;

    // Trays that draw the menu themselves (over D-Bus) need it set on the icon.
    void setContextMenu(QMenu *menu);

    bool isShown() const { return m_icon && m_icon->isVisible(); }

private:
    void add(const TrayIconRecord &record);
    void modify(const TrayIconRecord &record);
    void remove();
    void applyPicture(quint32 handle);
    void hostChanged(bool available);
    void createIcon();

    const PictureRegistry &m_pictures;
    TrayHostWatcher *m_hostWatcher;
    // Made once a tray exists: Qt picks the kind of tray (bus or XEmbed) then.
    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu = nullptr;
    // Added while no tray existed: shown once one comes.
    std::optional<TrayIconRecord> m_addedWithoutIcon;
    quint32 m_pictureHandle = 0; // the picture the icon shows; 0 before the first
    bool m_reportedNoTray = false;
};

#endif
