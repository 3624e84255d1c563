#ifndef TAVRIN_TESTS_WIREDAPPLICATION_H
#define TAVRIN_TESTS_WIREDAPPLICATION_H

#include "app/frmTavrin.h"
#include "qt/app/Application.h"
#include "qt/app/TavrinWindow.h"
#include "qt/tray/PictureRegistry.h"

#include "FakeBrowser.h"
#include "FakeClock.h"
#include "FakeNetworkReachability.h"
#include "FakeSettingsStore.h"
#include "RecordingTrayShell.h"

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

#endif
