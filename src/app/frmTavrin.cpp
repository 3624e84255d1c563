#include "app/frmTavrin.h"

#include "qt/CoreTypes.h"
#include "qt/app/AppLog.h"
#include "qt/app/StarMaskStyle.h"
#include "qt/app/Twips.h"
#include "qt/app/UpDownControl.h"
#include "qt/tray/PictureRegistry.h"
#include "qt/update/BrowserControl.h"
#include "qt/update/BrowserView.h"
#include "qt/update/NetworkReachability.h"
#include "qt/update/SystemNetworkReachability.h"
#include "settings/SettingsStore.h"
#include "tray/TrayEventDecoder.h"
#include "tray/TrayShell.h"
#include "update/UpdateUrl.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

// The pictures live in this static library; register them before first use.
static void initPictures()
{
    Q_INIT_RESOURCE(pictures);
}

// Read as PNG only: an image reader that may guess the format loads every
// image plugin to ask it first, which costs the start-up milliseconds.
static QPixmap picture(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

namespace {
const QString SettingsSection = QStringLiteral("settings");
const QString KeyValueName = QStringLiteral("TavrinKey");
const QString IntervalValueName = QStringLiteral("TavrinTime");
const QString DefaultInterval = QStringLiteral("5");
// What the interval box holds before the stored interval is loaded.
const QString InitialInterval = QStringLiteral("10");
} // namespace

frmTavrin::frmTavrin(SettingsStore &settings, BrowserControl &browser, TrayShell &trayShell,
                     PictureRegistry &pictures, const QStringList &arguments, QWidget *parent)
    : QWidget(parent), m_settings(settings), m_browser(browser), m_trayShell(trayShell),
      m_pictures(pictures), m_tray(trayShell, *this), m_arguments(arguments),
      m_wakeTimer(m_systemClock, [this] { wakeUp(); }),
      m_engine(m_systemClock, m_wakeTimer, m_channel, *this, numberFormat(QLocale()))
{
    m_engine.intervalChanged(toStd(InitialInterval));
    initPictures();
    m_pictureA = pictures.add(QIcon(picture(QStringLiteral(":/pictures/pictureA.png"))));
    m_pictureB = pictures.add(QIcon(picture(QStringLiteral(":/pictures/pictureB.png"))));

    setWindowTitle(QStringLiteral("KORLA DNS Conector"));
    setWindowPicture(m_pictureA);
    resize(Twips::toPixels(5595), Twips::toPixels(2400));
    createMenuAndTimers();

    connect(&m_browser, &BrowserControl::pageLoaded, this, &frmTavrin::showPage);
    // Only the tray's own activations are decoded; real pointer movement over the
    // window never reaches Form_MouseMove.
    connect(&m_trayShell, &TrayShell::mouseMessage, this, [this](int number) {
        Form_MouseMove(0, 0, TrayEventDecoder::xForMouseMessage(number, twipsPerPixel()), 0);
    });
}

frmTavrin::~frmTavrin() = default;

void frmTavrin::createMenuAndTimers()
{
    Timer1 = new QTimer(this);
    Timer1->setInterval(6000);
    Timer1->start();
    connect(Timer1, &QTimer::timeout, this, &frmTavrin::Timer1_Timer);

    // The only menu is never shown as a bar; the tray opens it as a pop-up.
    datei = new QMenu(QStringLiteral("Datei"), this);
    optionen = datei->addAction(QStringLiteral("Optionen..."));
    beenden = datei->addAction(QStringLiteral("Beenden"));
    connect(optionen, &QAction::triggered, this, &frmTavrin::optionen_Click);
    connect(beenden, &QAction::triggered, this, &frmTavrin::beenden_Click);
}

frmTavrin::Controls &frmTavrin::controls()
{
    if (!m_controls) {
        m_controls = buildControls();
        if (m_pendingPage) {
            m_controls->WebBrowser1->showPage(m_pendingPage->text, m_pendingPage->isHtml);
            m_pendingPage.reset();
        }
    }
    return *m_controls;
}

frmTavrin::Controls frmTavrin::buildControls()
{
    Controls c;
    auto *starMask = new StarMaskStyle();
    starMask->setParent(this);

    c.Label3 = new QLabel(QStringLiteral("Sync-Intervall:"), this);
    c.Label3->setGeometry(Twips::rect(120, 240, 1095, 255));

    // The box shows the interval in effect, loaded or typed before it was built.
    c.txtTimer = new QLineEdit(toQt(m_engine.intervalText()), this);
    c.txtTimer->setGeometry(Twips::rect(1320, 240, 375, 285));

    c.UpDown1 = new UpDownControl(this);
    c.UpDown1->setGeometry(Twips::rect(1680, 240, 240, 285));
    c.UpDown1->setRange(1, 60);
    c.UpDown1->setBuddy(c.txtTimer);

    c.Label1 = new QLabel(QStringLiteral("Schlüssel:"), this);
    c.Label1->setGeometry(Twips::rect(2400, 240, 855, 255));

    for (int index = 0; index < 2; ++index) {
        QLineEdit *box = new QLineEdit(QStringLiteral("Text1"), this);
        box->setGeometry(Twips::rect(3360, index == 0 ? 240 : 600, 1695, 285));
        box->setEchoMode(QLineEdit::Password);
        box->setStyle(starMask);
        c.txtKey[index] = box;
    }

    c.cmdKey = new QPushButton(QStringLiteral("OK"), this);
    c.cmdKey->setGeometry(Twips::rect(5040, 600, 375, 255));
    c.cmdKey->setEnabled(false);

    c.WebBrowser1 = new BrowserView(this);
    c.WebBrowser1->setGeometry(Twips::rect(120, 1080, 5295, 1095));
    c.WebBrowser1->setTabChangesFocus(true);

    // Hidden picture holders: Image1 is what a sync shows, Image2 what a failure shows.
    c.Image1 = new QLabel(this);
    c.Image1->setGeometry(Twips::rect(360, 0, 480, 450));
    c.Image1->setPixmap(picture(QStringLiteral(":/pictures/pictureA.png")));
    c.Image1->setVisible(false);
    c.Image2 = new QLabel(this);
    c.Image2->setGeometry(Twips::rect(600, 120, 480, 450));
    c.Image2->setPixmap(picture(QStringLiteral(":/pictures/pictureB.png")));
    c.Image2->setVisible(false);

    // Focus order: browser area, first key box, interval box, arrows, OK, second key box.
    setTabOrder(c.WebBrowser1, c.txtKey[0]);
    setTabOrder(c.txtKey[0], c.txtTimer);
    setTabOrder(c.txtTimer, c.UpDown1);
    setTabOrder(c.UpDown1, c.cmdKey);
    setTabOrder(c.cmdKey, c.txtKey[1]);

    connect(c.txtTimer, &QLineEdit::textChanged, this, &frmTavrin::txtTimer_Change);
    connect(c.UpDown1, &UpDownControl::valueChanged, this, &frmTavrin::UpDown1_Change);
    for (int index = 0; index < 2; ++index)
        connect(c.txtKey[index], &QLineEdit::textChanged, this,
                [this, index] { txtKey_Change(index); });
    connect(c.cmdKey, &QPushButton::clicked, this, &frmTavrin::cmdKey_Click);

    return c;
}

QLabel *frmTavrin::Label3()
{
    return controls().Label3;
}

QLineEdit *frmTavrin::txtTimer()
{
    return controls().txtTimer;
}

UpDownControl *frmTavrin::UpDown1()
{
    return controls().UpDown1;
}

QLabel *frmTavrin::Label1()
{
    return controls().Label1;
}

QLineEdit *frmTavrin::txtKey(int index)
{
    Q_ASSERT(index == 0 || index == 1);
    return controls().txtKey[size_t(index)];
}

QPushButton *frmTavrin::cmdKey()
{
    return controls().cmdKey;
}

BrowserView *frmTavrin::WebBrowser1()
{
    return controls().WebBrowser1;
}

QLabel *frmTavrin::Image1()
{
    return controls().Image1;
}

QLabel *frmTavrin::Image2()
{
    return controls().Image2;
}

void frmTavrin::setVisible(bool visible)
{
    if (visible)
        controls();
    QWidget::setVisible(visible);
}

void frmTavrin::showPage(const QString &text, bool isHtml)
{
    if (m_controls)
        m_controls->WebBrowser1->showPage(text, isHtml);
    else
        m_pendingPage = Page{text, isHtml};
}

void frmTavrin::Form_Load()
{
    RunMode = m_arguments.join(QLatin1Char(' ')).toLower();
    TavrinVar = toQt(m_settings.read(toStd(SettingsSection), toStd(KeyValueName), std::string()));
    // Replacing the box's text saves it straight back, so a first start stores the default.
    setIntervalText(toQt(
        m_settings.read(toStd(SettingsSection), toStd(IntervalValueName), toStd(DefaultInterval))));
    Timer1->setInterval(tickIntervalMs());
    m_loaded = true;
    // Loading the network watcher's backend takes a while; the tray icon and the
    // first request need not wait for it.
    QTimer::singleShot(WatchNetworkAfterMs, this, [this] {
        if (!m_reachability)
            setReachability(new SystemNetworkReachability(this));
    });
    m_browser.setTheaterMode(true);
    m_engine.setUpdateUrl(toStd(TavrinVar));
    m_engine.start();
    // Minimised for this widget only (Form_Resize still runs): telling the window
    // system would mark the never-shown window iconic, and Qt maps it before it
    // clears that mark on the first restore, so a window manager may iconify it
    // again right away.
    overrideWindowState(windowState() | Qt::WindowMinimized);
    qCInfo(lcApp) << "started; interval" << toQt(m_engine.intervalText()) << "minutes";
}

void frmTavrin::Form_Resize()
{
    if (windowState() & Qt::WindowMinimized) {
        if (!m_trayShell.hostAvailable()) {
            // Without a notification area a hidden window could never come back:
            // stay minimised, reachable from the taskbar.
            if (!m_warnedNoTray)
                qCWarning(lcApp) << "no system tray available; the window stays minimised";
            m_warnedNoTray = true;
            return;
        }
        m_tray.TrayAdd();
        hide();
        enterQuietMode();
    } else if (isVisible()) {
        // A hidden window comes back only through restoreWindow(). A window manager
        // that drops the state of a window it stops managing can make Qt report the
        // hidden window as no longer minimised; that must not take the icon away.
        m_tray.TrayRemove();
        leaveQuietMode();
    }
}

void frmTavrin::Form_Unload()
{
    m_tray.TrayRemove();
    Q_EMIT unloaded();
}

void frmTavrin::Form_MouseMove(int button, int shift, double x, double y)
{
    Q_UNUSED(button)
    Q_UNUSED(shift)
    Q_UNUSED(y)
    switch (TrayEventDecoder::decode(x, twipsPerPixel(), toStd(RunMode))) {
    case TrayEventDecoder::Action::OpenMenu:
        // Trays that show the icon's context menu themselves have opened it already.
        if (!datei->isVisible())
            datei->popup(QCursor::pos());
        break;
    case TrayEventDecoder::Action::RestoreWindow:
        m_tray.TrayRemove();
        restoreWindow();
        break;
    case TrayEventDecoder::Action::None:
        break;
    }
}

void frmTavrin::Timer1_Timer()
{
    // After a start aligned to the tick grid, the timer goes back to whole ticks.
    if (Timer1->interval() != tickIntervalMs())
        Timer1->setInterval(tickIntervalMs());
    m_engine.tick();
}

void frmTavrin::captionChanged(const std::string &caption)
{
    setWindowTitle(toQt(caption));
}

void frmTavrin::requestSent(RequestKind kind)
{
    // A sync lets pending events run, as the window always has; a tick that comes
    // meanwhile is left to the next one.
    if (kind == RequestKind::Sync)
        QCoreApplication::processEvents();
}

void frmTavrin::synced(const std::string &caption, UpdateHealth health)
{
    setWindowPicture(pictureFor(health));
    m_tray.TrayModify();
    QCoreApplication::processEvents();
    setWindowTitle(toQt(caption));
}

void frmTavrin::outcomeShown(UpdateHealth health)
{
    setWindowPicture(pictureFor(health));
    m_tray.TrayModify();
}

void frmTavrin::enterQuietMode()
{
    Timer1->stop();
    m_engine.windowHidden();
}

void frmTavrin::leaveQuietMode()
{
    if (!m_engine.windowShown())
        return;
    // The next tick comes where a ticking program's would.
    const qint64 delay = qRound64(double(m_engine.msUntilNextTick()) / m_systemClock.factor());
    Timer1->start(int(std::clamp<qint64>(delay, 1, tickIntervalMs())));
}

void frmTavrin::txtKey_Change(int index)
{
    Q_UNUSED(index)
    Controls &c = controls();
    c.cmdKey->setEnabled(
        m_keyConfirmation.keyChanged(toStd(c.txtKey[0]->text()), toStd(c.txtKey[1]->text())));
}

void frmTavrin::txtTimer_Change()
{
    intervalChanged(txtTimer()->text());
}

void frmTavrin::setIntervalText(const QString &text)
{
    if (m_controls) {
        m_controls->txtTimer->setText(text);
        return;
    }
    // Like a text box, replacing the text with the same text changes nothing.
    if (toStd(text) != m_engine.intervalText())
        intervalChanged(text);
}

void frmTavrin::intervalChanged(const QString &text)
{
    m_engine.intervalChanged(toStd(text));
    saveInterval();
}

void frmTavrin::UpDown1_Change()
{
    saveInterval();
}

void frmTavrin::saveInterval()
{
    m_settings.save(toStd(SettingsSection), toStd(IntervalValueName), m_engine.intervalText());
}

void frmTavrin::cmdKey_Click()
{
    ApplyKey();
}

void frmTavrin::ApplyKey()
{
    TavrinVar = toQt(UpdateUrl::compose(UpdateUrl::baseUrl(), toStd(txtKey(1)->text())));
    m_settings.save(toStd(SettingsSection), toStd(KeyValueName), toStd(TavrinVar));
    m_engine.replaceUrl(toStd(TavrinVar));
}

void frmTavrin::optionen_Click()
{
    restoreWindow();
}

void frmTavrin::beenden_Click()
{
    const bool confirmed = m_confirmQuit ? m_confirmQuit() : askQuitQuestion();
    if (!confirmed)
        return;
    // Leave no stale icon behind in the notification area.
    m_tray.TrayRemove();
    Q_EMIT quitConfirmed();
}

bool frmTavrin::askQuitQuestion()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tavrin Connector beenden..."),
                    QStringLiteral("Möchten Sie den Dienst wirklich beenden?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    return box.exec() == QMessageBox::Ok;
}

void frmTavrin::restoreWindow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    m_tray.TrayRemove();
    leaveQuietMode();
    raise();
    activateWindow();
}

quint32 frmTavrin::trayWindowHandle() const
{
    return quint32(internalWinId());
}

quint32 frmTavrin::trayIconHandle() const
{
    return m_iconHandle;
}

double frmTavrin::twipsPerPixel() const
{
    const int dpi = logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : double(Twips::PerLogicalPixel);
}

quint32 frmTavrin::pictureFor(UpdateHealth health) const
{
    return health == UpdateHealth::Good ? m_pictureA : m_pictureB;
}

void frmTavrin::setWindowPicture(quint32 handle)
{
    // A sync sets the picture it already shows most of the time.
    if (handle == m_iconHandle)
        return;
    m_iconHandle = handle;
    setWindowIcon(m_pictures.icon(handle));
}

void frmTavrin::setClock(const Clock *clock)
{
    const Clock &chosen = clock ? *clock : static_cast<const Clock &>(m_systemClock);
    m_engine.setClock(chosen);
    m_wakeTimer.setClock(chosen);
}

void frmTavrin::setReachability(NetworkReachability *reachability)
{
    if (m_reachability)
        disconnect(m_reachability, nullptr, this, nullptr);
    m_reachability = reachability;
    if (!reachability)
        return;
    connect(reachability, &NetworkReachability::becameReachable, this,
            [this] { m_engine.networkBack(); });
}

void frmTavrin::setTimeScale(double scale)
{
    m_systemClock.setFactor(scale);
    m_wakeTimer.setTimeScale(m_systemClock.factor());
    // Read every tick, so worked out once here.
    m_tickIntervalMs = qMax(1, qRound(double(TickMs) / m_systemClock.factor()));
    if (m_loaded)
        Timer1->setInterval(tickIntervalMs());
    qCInfo(lcApp) << "time runs" << m_systemClock.factor() << "times as fast";
}

int frmTavrin::tickIntervalMs() const
{
    return m_tickIntervalMs;
}

void frmTavrin::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmTavrin::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (isVisible())
        Form_Resize();
}

void frmTavrin::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}
