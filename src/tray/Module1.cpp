#include "tray/Module1.h"

Module1::Module1(TrayShell &shell, const TrayWindow &window) : m_shell(shell), m_window(window) {}

void Module1::TrayAdd()
{
    send(TrayMessage::Add);
}

void Module1::TrayModify()
{
    send(TrayMessage::Modify);
}

void Module1::TrayRemove()
{
    send(TrayMessage::Delete);
}

const TrayIconRecord &Module1::record() const
{
    return m_record;
}

void Module1::send(TrayMessage message)
{
    // The window's picture may have changed since the last call, so nothing is reused.
    m_record = TrayIconRecord::make(m_window.trayWindowHandle(), m_window.trayIconHandle());
    m_shell.notify(message, m_record);
}
