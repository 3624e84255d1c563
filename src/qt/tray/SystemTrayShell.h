#ifndef TAVRIN_QT_TRAY_SYSTEMTRAYSHELL_H
#define TAVRIN_QT_TRAY_SYSTEMTRAYSHELL_H

#include "qt/tray/PictureRegistry.h"
#include "tray/TrayShell.h"

#include <QSystemTrayIcon>

class QMenu;

// The tray shell over the desktop's notification area. Everything it shows is
// taken from the record it is handed: the picture by handle, the tip text.
class SystemTrayShell : public QObject, public TrayShell
{
    Q_OBJECT
public:
    explicit SystemTrayShell(const PictureRegistry &pictures, QObject *parent = nullptr);

    void notify(TrayMessage message, const TrayIconRecord &record) override;
    bool hostAvailable() const override { return isAvailable(); }

    // Trays that draw the menu themselves (over D-Bus) need it set on the icon.
    void setContextMenu(QMenu *menu);

    bool isShown() const;
    static bool isAvailable();

    // The mouse message number that stands for an activation reported by Qt.
    static int mouseMessageFor(QSystemTrayIcon::ActivationReason reason);

private:
    void add(const TrayIconRecord &record);
    void modify(const TrayIconRecord &record);
    void remove();
    void applyPicture(quint32 handle);

    const PictureRegistry &m_pictures;
    QSystemTrayIcon *m_icon;
    quint32 m_pictureHandle = 0; // the picture the icon shows; 0 before the first
    bool m_reportedNoTray = false;
};

#endif
