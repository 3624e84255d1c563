#ifndef TAVRIN_TRAY_MODULE1_H
#define TAVRIN_TRAY_MODULE1_H

#include "tray/TrayIconRecord.h"
#include "tray/TrayShell.h"
#include "tray/TrayWindow.h"

// The tray operations: each one rebuilds the icon record from the window's
// current handle and picture and hands it to the shell. Whether the icon is
// shown is the shell's business; nothing else is remembered here.
class Module1
{
public:
    Module1(TrayShell &shell, const TrayWindow &window);

    void TrayAdd();
    void TrayModify();
    void TrayRemove();

    // The record sent last (cbSize 0 before the first call).
    const TrayIconRecord &record() const;

private:
    void send(TrayMessage message);

    TrayShell &m_shell;
    const TrayWindow &m_window;
    TrayIconRecord m_record;
};

#endif
