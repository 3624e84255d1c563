#ifndef TAVRIN_APP_FRMTAVRIN_H
#define TAVRIN_APP_FRMTAVRIN_H

#include "tray/Module1.h"
#include "tray/TrayWindow.h"
#include "update/KeyConfirmation.h"
#include "update/SyncCountdown.h"

#include <QIcon>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>

class BrowserControl;
class BrowserView;
class PictureRegistry;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QTimer;
class SettingsStore;
class TrayShell;
class UpDownControl;

// The program's one window. It holds the update URL, the command line and the
// countdown, and wires its controls, its timer and the tray to them. It normally
// lives minimised and hidden behind the tray icon.
class frmTavrin : public QWidget, public TrayWindow
{
    Q_OBJECT
public:
    frmTavrin(SettingsStore &settings, BrowserControl &browser, TrayShell &trayShell,
              PictureRegistry &pictures, const QStringList &arguments, QWidget *parent = nullptr);
    ~frmTavrin() override;

    // The current update URL: the service's base URL followed by the key.
    QString TavrinVar;
    // The command-line arguments, lower-cased.
    QString RunMode;

    // Event handlers, one per window, control and menu event.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Form_MouseMove(int button, int shift, double x, double y);
    void Timer1_Timer();
    void txtKey_Change(int index);
    void txtTimer_Change();
    void UpDown1_Change();
    void cmdKey_Click();
    void optionen_Click();
    void beenden_Click();

    // TrayWindow
    quint32 trayWindowHandle() const override;
    quint32 trayIconHandle() const override;

    qint64 tickCount() const { return m_countdown.tickCount(); }
    // Display twips per pixel, used to carry tray notifications as a pointer position.
    double twipsPerPixel() const;

    // The controls, by their window names.
    QLabel *Label3;
    QLineEdit *txtTimer;
    UpDownControl *UpDown1;
    QLabel *Label1;
    std::array<QLineEdit *, 2> txtKey;
    QPushButton *cmdKey;
    BrowserView *WebBrowser1;
    QLabel *Image1;
    QLabel *Image2;
    QTimer *Timer1;
    QMenu *datei;
    QAction *optionen;
    QAction *beenden;

    // Replaces the question "Beenden" asks (a message box) — for tests.
    void setQuitConfirmation(std::function<bool()> confirm) { m_confirmQuit = std::move(confirm); }

Q_SIGNALS:
    // "Beenden" was confirmed; the program is to end at once.
    void quitConfirmed();
    // The window was closed; the program is to end.
    void unloaded();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void ApplyKey();
    void setWindowPicture(quint32 handle);
    void requestFinished(bool succeeded);
    void restoreWindow();
    bool askQuitQuestion();

    SettingsStore &m_settings;
    BrowserControl &m_browser;
    TrayShell &m_trayShell;
    PictureRegistry &m_pictures;
    Module1 m_tray;
    QStringList m_arguments;
    SyncCountdown m_countdown;
    KeyConfirmation m_keyConfirmation;
    quint32 m_pictureA = 0;
    quint32 m_pictureB = 0;
    quint32 m_iconHandle = 0;
    // The picture the next sync shows: the last finished request's outcome.
    quint32 m_outcomePicture = 0;
    bool m_inSync = false;
    bool m_warnedNoTray = false;
    std::function<bool()> m_confirmQuit;
};

#endif
