#include "win32/app/Win32Application.h"

#include "app/frmTavrin.h"
#include "win32/WideText.h"
#include "win32/Win32Log.h"
#include "win32/app/SingleInstance.h"
#include "win32/app/Win32Window.h"
#include "win32/tray/ShellTrayIcon.h"
#include "win32/update/AddressChangeWatch.h"
#include "win32/update/MessageWakeTimer.h"

#include <sstream>

namespace {
// How the user's locale writes numbers: "1,5" on a German system.
NumberFormat userNumberFormat()
{
    wchar_t decimal[8] = {};
    NumberFormat format;
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8) > 1)
        format.decimalPoint = WideText::toUtf8(decimal);
    return format;
}
} // namespace

Win32Application::Win32Application(HINSTANCE instance, SettingsStore &settings,
                                   RequestChannel &channel, ShellTrayIcon &trayIcon,
                                   const std::string &applicationName,
                                   const std::vector<std::string> &arguments)
    : m_wakeTimer(std::make_unique<MessageWakeTimer>(m_clock, [this] { m_presenter->wakeUp(); })),
      m_window(std::make_unique<Win32Window>(instance,
                                             SingleInstance::windowClassName(applicationName),
                                             SingleInstance::showRequestMessage()))
{
    CoreLog::setSink(&Win32Log::write);
    m_presenter = std::make_unique<frmTavrin>(*m_window, trayIcon, settings, m_clock, *m_wakeTimer,
                                              channel, userNumberFormat(), arguments);
    frmTavrin &p = *m_presenter;
    Win32Window::Handlers h;
    h.resized = [&p] { p.Form_Resize(); };
    h.closed = [&p] { p.Form_Unload(); };
    h.intervalEdited = [&p] { p.txtTimer_Change(); };
    h.arrowsClicked = [&p] { p.UpDown1_Change(); };
    h.keyEdited = [&p](int index) { p.txtKey_Change(index); };
    h.keyEnterPressed = [&p](int index) { p.txtKey_KeyPress(index, frmTavrin::EnterKey); };
    h.okClicked = [&p] { p.cmdKey_Click(); };
    h.optionenChosen = [&p] { p.optionen_Click(); };
    h.beendenChosen = [&p] { p.beenden_Click(); };
    h.timerTicked = [&p] { p.Timer1_Timer(); };
    // The shell reports the icon's mouse messages as the window's mouse moves.
    h.trayNotified = [&p](double xTwips) { p.Form_MouseMove(0, 0, xTwips, 0); };
    h.taskbarCreated = [&trayIcon] { trayIcon.shellRestarted(); };
    h.systemResumed = [&p] { p.systemResumed(); };
    h.showRequested = [&p] { p.optionen_Click(); };
    m_window->setHandlers(std::move(h));
}

Win32Application::~Win32Application() = default;

void Win32Application::start()
{
    m_presenter->Form_Load();
    m_addressWatch = std::make_unique<AddressChangeWatch>([this] { m_presenter->networkBack(); });
}

int Win32Application::run()
{
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (!m_window->handleDialogKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return got == 0 ? int(message.wParam) : 1;
}

void Win32Application::setTimeScale(double scale)
{
    m_clock.setFactor(scale);
    m_wakeTimer->setTimeScale(m_clock.factor());
    m_presenter->setTimeScale(m_clock.factor());
    std::ostringstream line;
    line << "time runs " << m_clock.factor() << " times as fast";
    CoreLog::write(CoreLog::Area::App, CoreLog::Level::Info, line.str());
}
