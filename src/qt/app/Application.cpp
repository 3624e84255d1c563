#include "qt/app/Application.h"

#include "app/CommandLine.h"
#include "app/frmTavrin.h"
#include "qt/CoreTypes.h"
#include "qt/Log.h"
#include "qt/app/TavrinWindow.h"
#include "qt/app/XdgAutostartEntry.h"
#include "qt/settings/IniSettingsStore.h"
#include "qt/tray/PictureRegistry.h"
#include "qt/tray/SystemTrayShell.h"
#include "qt/update/BootTimer.h"
#include "qt/update/HttpRequestChannel.h"
#include "qt/update/JoinedNetworkReachability.h"
#include "qt/update/KernelRouteWatch.h"
#include "qt/update/SystemNetworkReachability.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

struct Application::OwnParts
{
    explicit OwnParts(const QString &programPath)
        : settings(toQt(CommandLine::programName(toStd(programPath)))), trayShell(pictures),
          autostart(programPath)
    {
    }
    IniSettingsStore settings;
    HttpRequestChannel channel;
    PictureRegistry pictures;
    SystemTrayShell trayShell;
    XdgAutostartEntry autostart;
};

Application::Application(const QString &programPath, const QStringList &arguments)
    : Application(std::make_unique<OwnParts>(programPath), arguments)
{
}

Application::Application(std::unique_ptr<OwnParts> own, const QStringList &arguments)
    : Application(own->settings, own->channel, own->trayShell, own->pictures, arguments)
{
    qCInfo(lcApp) << "settings file" << own->settings.filePath();
    // Trays that draw the menu themselves (over D-Bus) need it on the icon.
    own->trayShell.setContextMenu(m_window->datei);
    m_presenter->setLoginEntry(&own->autostart);
    m_own = std::move(own);
}

Application::Application(SettingsStore &settings, RequestChannel &channel, TrayShell &trayShell,
                         PictureRegistry &pictures, const QStringList &arguments)
    : m_clickPairing(m_bootClock, QApplication::doubleClickInterval()),
      m_wakeTimer(std::make_unique<BootTimer>(m_systemClock, [this] { m_presenter->wakeUp(); })),
      m_window(std::make_unique<TavrinWindow>(pictures)), m_trayShell(&trayShell)
{
    installCoreLogSink();
    std::vector<std::string> words;
    for (const QString &argument : arguments)
        words.push_back(toStd(argument));
    m_presenter =
        std::make_unique<frmTavrin>(*m_window, trayShell, settings, m_systemClock, *m_wakeTimer,
                                    channel, numberFormat(QLocale()), words);
    frmTavrin &p = *m_presenter;
    TavrinWindow &w = *m_window;
    // Only the tray's own activations are decoded; real pointer movement over the
    // window never reaches Form_MouseMove. Trays that report single clicks only
    // get their double clicks from the pairing.
    trayShell.setMouseHandler([this, &p](int number) {
        for (int message : m_clickPairing.messagesFor(number))
            p.trayMouseMessage(message);
    });
    trayShell.setHostHandler([&p](bool available) { p.trayHostChanged(available); });
    QObject::connect(w.Timer1, &QTimer::timeout, &w, [&p] { p.Timer1_Timer(); });
    QObject::connect(w.optionen, &QAction::triggered, &w, [&p] { p.optionen_Click(); });
    QObject::connect(w.beenden, &QAction::triggered, &w, [&p] { p.beenden_Click(); });
    QObject::connect(&w, &TavrinWindow::resized, &w, [&p] { p.Form_Resize(); });
    QObject::connect(&w, &TavrinWindow::closed, &w, [&p] { p.Form_Unload(); });
    QObject::connect(&w, &TavrinWindow::intervalEdited, &w, [&p] { p.txtTimer_Change(); });
    QObject::connect(&w, &TavrinWindow::arrowsClicked, &w, [&p] { p.UpDown1_Change(); });
    QObject::connect(&w, &TavrinWindow::keyEdited, &w, [&p](int i) { p.txtKey_Change(i); });
    QObject::connect(&w, &TavrinWindow::okClicked, &w, [&p] { p.cmdKey_Click(); });
    QObject::connect(&w, &TavrinWindow::keyReturnPressed, &w,
                     [&p](int i) { p.txtKey_KeyPress(i, frmTavrin::EnterKey); });
    // The program ends only through the window: a closed message box or pop-up
    // while the window hides in the tray must not end it.
    QObject::connect(&w, &TavrinWindow::programEnding, qApp, &QCoreApplication::quit);
}

Application::~Application()
{
    // The tray may outlive the presenter.
    m_trayShell->setMouseHandler({});
    m_trayShell->setHostHandler({});
}

void Application::start()
{
    m_presenter->Form_Load();
    QTimer::singleShot(WatchNetworkAfterMs, m_window.get(), [this] {
        if (m_reachability)
            return;
        // The kernel's routes tell without a network manager; a network manager
        // also tells of an internet lost behind a working link.
        auto *joined = new JoinedNetworkReachability(m_bootClock, m_window.get());
        auto *kernel = new KernelRouteWatch;
        joined->add(kernel);
        joined->add(new SystemNetworkReachability(
            kernel->watching() ? SystemNetworkReachability::Backends::NetworkManager
                               : SystemNetworkReachability::Backends::Any));
        setReachability(joined);
    });
}

void Application::setClock(const Clock *clock)
{
    const Clock &chosen = clock ? *clock : static_cast<const Clock &>(m_systemClock);
    m_presenter->setClock(chosen);
    m_wakeTimer->setClock(chosen);
    m_clickPairing.setClock(clock ? *clock : static_cast<const Clock &>(m_bootClock));
}

void Application::setReachability(NetworkReachability *reachability)
{
    if (m_reachability)
        QObject::disconnect(m_reachability, nullptr, m_window.get(), nullptr);
    m_reachability = reachability;
    if (reachability)
        QObject::connect(reachability, &NetworkReachability::becameReachable, m_window.get(),
                         [this] { m_presenter->networkBack(); });
}

void Application::setTimeScale(double scale)
{
    m_systemClock.setFactor(scale);
    m_wakeTimer->setTimeScale(m_systemClock.factor());
    m_presenter->setTimeScale(m_systemClock.factor());
    qCInfo(lcApp) << "time runs" << m_systemClock.factor() << "times as fast";
}
