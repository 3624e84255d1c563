#ifndef TAVRIN_TESTS_WIREDAPPLICATION_H
#define TAVRIN_TESTS_WIREDAPPLICATION_H

#include "app/frmTavrin.h"
#include "qt/app/Application.h"
#include "qt/app/TavrinWindow.h"
#include "qt/app/UpDownControl.h"
#include "qt/tray/PictureRegistry.h"
#include <QPlainTextEdit>

#include "FakeBrowser.h"
#include "FakeClock.h"
#include "FakeNetworkReachability.h"
#include "FakeSettingsStore.h"
#include "RecordingTrayShell.h"

#include <QLabel>
#include <QStringList>

// The window and its presenter wired as the program wires them, with recording
// doubles for the settings, the request channel, the tray and the network, on
// a clock the test drives.
struct WiredApplication
{
    explicit WiredApplication(const QStringList &arguments = {})
        : app(settings, browser, tray, pictures, arguments)
    {
        app.setClock(&clock);
        app.setReachability(&network);
    }

    FakeSettingsStore settings;
    FakeBrowser browser;
    RecordingTrayShell tray;
    PictureRegistry pictures;
    FakeClock clock;
    FakeNetworkReachability network;
    Application app;
    frmTavrin *presenter = &app.presenter();
    TavrinWindow *window = &app.window();
};

// A control of the window by its name in the layout table ("txtKey0" for the
// first key box), or nullptr.
inline QWidget *controlNamed(TavrinWindow &w, const QString &name)
{
    const QList<QPair<QString, QWidget *>> controls = {
        {"Label3", w.Label3()}, {"txtTimer", w.txtTimer()},       {"UpDown1", w.UpDown1()},
        {"Label1", w.Label1()}, {"txtKey0", w.txtKey(0)},         {"txtKey1", w.txtKey(1)},
        {"cmdKey", w.cmdKey()}, {"WebBrowser1", w.WebBrowser1()}, {"Image1", w.Image1()},
        {"Image2", w.Image2()}};
    for (const auto &[controlName, widget] : controls) {
        if (controlName == name)
            return widget;
    }
    return nullptr;
}

#endif
