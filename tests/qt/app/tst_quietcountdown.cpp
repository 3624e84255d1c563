#include "app/frmTavrin.h"
#include "qt/app/Application.h"
#include "qt/app/TavrinWindow.h"
#include "qt/tray/PictureRegistry.h"

#include "FakeBrowser.h"
#include "FakeClock.h"
#include "FakeNetworkReachability.h"
#include "FakeSettingsStore.h"
#include "RecordingTrayShell.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

// A window hidden in the tray sleeps between due ticks instead of ticking every
// second. These tests run it beside a window that ticks every second, on one
// driven clock, and check that both send the same requests at the same moments
// and show the same countdown whenever the hidden one is looked at: the window's
// own part (its timers, hiding and showing, the caption it shows). The engine's
// schedule is checked at length in tst_updateengine.
class tst_QuietCountdown : public QObject
{
    Q_OBJECT

private:
    struct Side
    {
        FakeSettingsStore settings;
        FakeBrowser browser;
        RecordingTrayShell tray;
        PictureRegistry pictures;
        FakeNetworkReachability network;
        std::unique_ptr<Application> app;
        frmTavrin *presenter = nullptr;
        TavrinWindow *window = nullptr;
        QList<qint64> requestTimes;

        Side(FakeClock &clock, bool trayHost, const QString &interval)
        {
            // Without a tray host the window waits for one, then shows; it ticks all along.
            tray.available = trayHost;
            settings.save("settings", "TavrinKey", "http://127.0.0.1:9/k");
            settings.save("settings", "TavrinTime", interval.toStdString());
            app = std::make_unique<Application>(settings, browser, tray, pictures, QStringList());
            presenter = &app->presenter();
            window = &app->window();
            app->setClock(&clock);
            app->setReachability(&network);
            browser.onNavigate = [this, &clock](const QString &) { requestTimes.append(clock.ms); };
            presenter->Form_Load();
        }
        bool quiet() const { return presenter->plannedWakeMs().has_value(); }
    };

    static void compareShown(const Side &ticking, const Side &hidden)
    {
        QCOMPARE(hidden.presenter->tickCount(), ticking.presenter->tickCount());
        QCOMPARE(hidden.window->windowTitle(), ticking.window->windowTitle());
    }

private Q_SLOTS:
    void hiddenWindowSleepsUntilSomethingIsDue()
    {
        FakeClock clock;
        Side hidden(clock, true, "5");
        QVERIFY(hidden.quiet());
        QVERIFY(!hidden.window->Timer1->isActive());
        // The first sync is due 301 ticks after start; the wake timer counts
        // suspend, so the window sleeps until then.
        int wakeUps = 0;
        while (hidden.requestTimes.size() < 2 && wakeUps < 20) {
            clock.ms = *hidden.presenter->plannedWakeMs();
            hidden.presenter->wakeUp();
            ++wakeUps;
        }
        QCOMPARE(wakeUps, 1);
        QCOMPARE(hidden.requestTimes.last() - hidden.requestTimes.first(), 301 * 1000);
    }

    void hiddenAndTickingAgree_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QString>("interval");
        QTest::newRow("seed 1, 3 s raised to 30 s") << 1u << "0.05";
        QTest::newRow("seed 3, 5 min") << 3u << "5";
    }
    void hiddenAndTickingAgree()
    {
        QFETCH(quint32, seed);
        QFETCH(QString, interval);
        QRandomGenerator random(seed);
        FakeClock clock;
        Side ticking(clock, false, interval);
        Side hidden(clock, true, interval);
        QVERIFY(!ticking.quiet());
        QVERIFY(hidden.quiet());
        const QStringList intervals = {"0.05", "0.1", "1", "2", "1.5", "5", "", "abc", "0", "-1"};

        const int seconds = 6 * 3600;
        int checks = 0;
        for (int second = 0; second < seconds; ++second) {
            clock.advance(frmTavrin::TickMs);
            ticking.presenter->Timer1_Timer();
            if (hidden.quiet()) {
                if (clock.ms >= *hidden.presenter->plannedWakeMs())
                    hidden.presenter->wakeUp();
            } else {
                hidden.presenter->Timer1_Timer();
            }

            const quint32 dice = random.bounded(1000u);
            if (dice < 40 && ticking.browser.inFlight) {
                // The service answers, or fails, at the same moment for both.
                QCOMPARE(hidden.browser.inFlight, true);
                const bool ok = random.bounded(3u) != 0;
                ok ? ticking.browser.succeed() : ticking.browser.fail();
                ok ? hidden.browser.succeed() : hidden.browser.fail();
            } else if (dice < 43) {
                const QString text = intervals.at(random.bounded(intervals.size()));
                ticking.window->txtTimer()->setText(text);
                hidden.window->txtTimer()->setText(text);
            } else if (dice < 44) {
                ticking.network.comeBack();
                hidden.network.comeBack();
            } else if (dice < 47) {
                // Look at the hidden window, or send it back to the tray.
                if (hidden.quiet()) {
                    hidden.presenter->optionen_Click();
                    QVERIFY(!hidden.quiet());
                    compareShown(ticking, hidden);
                    ++checks;
                } else {
                    hidden.window->setWindowState(Qt::WindowMinimized);
                    QVERIFY(hidden.quiet());
                }
            }
            QCOMPARE(hidden.requestTimes, ticking.requestTimes);
        }
        hidden.presenter->optionen_Click();
        compareShown(ticking, hidden);
        QVERIFY(checks > 10);
        QVERIFY(ticking.requestTimes.size() > 20);
    }

    void sleepIsNoticedAtTheFirstWakeUp()
    {
        FakeClock clock;
        Side hidden(clock, true, "5");
        hidden.requestTimes.clear();
        const qint64 wake = *hidden.presenter->plannedWakeMs();
        // The machine sleeps two hours; timers stand still meanwhile, so the
        // planned wake-up comes two hours late.
        clock.ms = wake + 2 * 3600 * 1000;
        hidden.presenter->wakeUp();
        QCOMPARE(hidden.requestTimes, QList<qint64>{clock.ms});
        QCOMPARE(hidden.presenter->tickCount(), 0);
    }
};

QTEST_MAIN(tst_QuietCountdown)
#include "tst_quietcountdown.moc"
