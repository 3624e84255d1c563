#include "app/frmTavrin.h"
#include "qt/CoreTypes.h"
#include "qt/app/Application.h"
#include "qt/app/TavrinWindow.h"
#include "qt/app/UpDownControl.h"
#include "qt/tray/PictureRegistry.h"
#include "update/UpdateUrl.h"

#include "ApplicationFont.h"
#include "FakeBrowser.h"
#include "FakeClock.h"
#include "FakeNetworkReachability.h"
#include "FakeSettingsStore.h"
#include "RecordingTrayShell.h"
#include "WiredApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTimer>
#include <QtTest>

#include <memory>

// The window on the offscreen platform, with recording doubles for the settings,
// the request channel and the tray, and with driven time: each tick() moves the
// fake clock on by a second.
class tst_TavrinWindow : public QObject
{
    Q_OBJECT

private:
    struct Fixture : WiredApplication
    {
        using WiredApplication::WiredApplication;

        void tick(int times = 1)
        {
            for (int i = 0; i < times; ++i) {
                clock.advance(frmTavrin::TickMs);
                presenter->Timer1_Timer();
            }
        }
        // Starts with a stored key and the given interval, then forgets what start-up did.
        void load(const QString &interval = QStringLiteral("5"))
        {
            settings.save("settings", "TavrinKey", url().toStdString());
            settings.save("settings", "TavrinTime", interval.toStdString());
            presenter->Form_Load();
            browser.navigated.clear();
            browser.calls.clear();
        }
        static QString url() { return QStringLiteral("http://127.0.0.1:9/the-key"); }
        // A key stored before start-up, without a save: the window starts in the tray.
        void storeKey() { settings.values[{"settings", "TavrinKey"}] = url(); }
        // Ticks until the browser is asked for something; returns how many ticks that took.
        int ticksUntilNavigate(int limit)
        {
            const qsizetype before = browser.navigated.size();
            for (int i = 1; i <= limit; ++i) {
                tick();
                if (browser.navigated.size() > before)
                    return i;
            }
            return -1;
        }
    };

private Q_SLOTS:
    void layout_controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Label3") << "Label3" << QRect(8, 16, 73, 17);
        QTest::newRow("txtTimer") << "txtTimer" << QRect(88, 16, 25, 19);
        QTest::newRow("UpDown1") << "UpDown1" << QRect(112, 16, 16, 19);
        QTest::newRow("Label1") << "Label1" << QRect(160, 16, 57, 17);
        QTest::newRow("txtKey0") << "txtKey0" << QRect(224, 16, 113, 19);
        QTest::newRow("txtKey1") << "txtKey1" << QRect(224, 40, 113, 19);
        QTest::newRow("cmdKey") << "cmdKey" << QRect(336, 40, 25, 17);
        QTest::newRow("WebBrowser1") << "WebBrowser1" << QRect(8, 72, 353, 73);
        QTest::newRow("Image1") << "Image1" << QRect(24, 0, 32, 30);
        QTest::newRow("Image2") << "Image2" << QRect(40, 8, 32, 30);
    }
    void layout_controlsAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        // The table's places, in pixels, at the font it was drawn for.
        ApplicationFont font(ApplicationFont::reference());
        Fixture f;
        f.window->show();
        QCOMPARE(controlNamed(*f.window, name)->geometry(), rect);
        // Absolute placement: a larger window only shows more empty space.
        f.window->resize(800, 600);
        QCOMPARE(controlNamed(*f.window, name)->geometry(), rect);
    }

    void creation_initialState()
    {
        ApplicationFont font(ApplicationFont::reference());
        Fixture f;
        TavrinWindow &w = *f.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("KORLA DNS Conector"));
        QCOMPARE(w.size(), QSize(373, 160));
        QCOMPARE(w.Label3()->text(), QStringLiteral("Sync-Intervall:"));
        QCOMPARE(w.Label1()->text(), QStringLiteral("Schlüssel:"));
        QCOMPARE(w.txtTimer()->text(), QStringLiteral("10"));
        for (QLineEdit *box : {w.txtKey(0), w.txtKey(1)}) {
            QCOMPARE(box->text(), QString());
            QCOMPARE(box->echoMode(), QLineEdit::Password);
            QCOMPARE(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box),
                     int('*'));
        }
        QVERIFY(!w.cmdKey()->isEnabled());
        QCOMPARE(w.Timer1->interval(), 6000);
        QVERIFY(w.Timer1->isActive());
        QVERIFY(w.findChildren<QMenuBar *>().isEmpty());
        QCOMPARE(w.datei->title(), QStringLiteral("Datei"));
        QCOMPARE(w.datei->actions(), (QList<QAction *>{w.optionen, w.beenden}));
        QCOMPARE(w.optionen->text(), QStringLiteral("Optionen..."));
        QCOMPARE(w.beenden->text(), QStringLiteral("Beenden"));
        w.show();
        QVERIFY(!w.Image1()->isVisible());
        QVERIFY(!w.Image2()->isVisible());
        QVERIFY(f.pictures.contains(f.presenter->trayIconHandle()));
        QVERIFY(!w.windowIcon().isNull());
    }

    void focus_tabFromFirstKeyBoxGoesToInterval()
    {
        Fixture f;
        f.window->show();
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window));
        f.window->txtKey(0)->setFocus();
        QTest::keyClick(f.window->txtKey(0), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.window->txtTimer()));
        QVERIFY(f.window->WebBrowser1()->nextInFocusChain() != nullptr);
        QCOMPARE(f.window->WebBrowser1()->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    }

    void load_firstStart()
    {
        Fixture f;
        f.presenter->Form_Load();
        QCOMPARE(toQt(f.presenter->TavrinVar), QString());
        QCOMPARE(f.window->txtTimer()->text(), QStringLiteral("5"));
        QCOMPARE(f.settings.value("TavrinTime"), QStringLiteral("5"));
        QVERIFY(!f.settings.has("TavrinKey"));
        QCOMPARE(f.browser.navigated, QStringList{QString()});
        QVERIFY(f.browser.theater);
        QCOMPARE(f.window->Timer1->interval(), 1000);
        // Without a key the window shows and asks for it, its icon red.
        QVERIFY(!(f.window->windowState() & Qt::WindowMinimized));
        QVERIFY(f.window->isVisible());
        QVERIFY(!f.tray.shown);
        QVERIFY(!f.tray.messages.contains(TrayMessage::Add));
        QCOMPARE(f.presenter->trayIconHandle(),
                 f.window->pictureHandle(WindowView::Picture::Failing));
        QVERIFY(QTest::qWaitForWindowActive(f.window));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.window->txtKey(0)));
        f.tick();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Count-Down: 299Sec."));
    }

    // The answer area says how updating goes above the answer, and never shows the key.
    void status_shownInTheAnswerArea_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("failure"); // RequestOutcome::Failure; None: success
        QTest::addColumn<QString>("shown");
        QTest::newRow("no key") << QString() << "5" << 0
                                << "Noch kein Schlüssel eingegeben. Bitte den Schlüssel in beide "
                                   "Felder eingeben und mit OK bestätigen.";
        QTest::newRow("ftp URL")
            << "ftp://x/the-key"
            << "5" << 0
            << "Die gespeicherte Aktualisierungsadresse ist keine gültige http- oder "
               "https-Adresse; es wird nichts aktualisiert. Bitte den "
               "Schlüssel neu eingeben.";
        QTest::newRow("letters") << Fixture::url() << "abc" << 0
                                 << "Sync-Intervall „abc“ ist nicht verwendbar; es wird nichts "
                                    "aktualisiert.";
        QTest::newRow("zero") << Fixture::url() << "0" << 0
                              << "Sync-Intervall „0“ ist nicht verwendbar; es wird nichts "
                                 "aktualisiert.";
        using F = RequestOutcome::Failure;
        QTest::newRow("HTTP 500") << Fixture::url() << "5" << int(F::HttpStatus)
                                  << "Grund: Der Dienst antwortete mit HTTP-Status 500.";
        QTest::newRow("refused") << Fixture::url() << "5" << int(F::ConnectionRefused)
                                 << "Grund: Verbindung abgelehnt.";
        QTest::newRow("badauth") << Fixture::url() << "5" << int(F::Refused)
                                 << "Grund: Vom Dienst abgelehnt („badauth“). Der Dienst hat den "
                                    "Schlüssel nicht angenommen. Bitte den Schlüssel prüfen und "
                                    "neu eingeben.";
        QTest::newRow("success") << Fixture::url() << "5" << 0
                                 << "Gemeldete Adresse: 1.2.3.4\n\ngood 1.2.3.4";
    }
    void status_shownInTheAnswerArea()
    {
        QFETCH(QString, key);
        QFETCH(QString, interval);
        QFETCH(int, failure);
        QFETCH(QString, shown);
        Fixture f;
        if (!key.isEmpty())
            f.settings.values[{"settings", "TavrinKey"}] = key;
        f.settings.values[{"settings", "TavrinTime"}] = interval;
        f.presenter->Form_Load();
        // The answer comes with its outcome.
        f.browser.finish({RequestOutcome::Failure(failure), 500, failure ? "badauth" : "", 0,
                          failure ? "Error" : "good 1.2.3.4"});
        f.presenter->optionen_Click();
        const QString text = f.window->WebBrowser1()->toPlainText();
        QVERIFY2(text.contains(shown), qPrintable(text));
        QVERIFY(!text.contains("the-key"));
        const bool working = shown.endsWith(QStringLiteral("good 1.2.3.4"));
        QCOMPARE(f.presenter->trayIconHandle(),
                 f.window->pictureHandle(working ? WindowView::Picture::Working
                                                 : WindowView::Picture::Failing));
    }

    // Fixed, the status tells of the last success again, above its answer.
    void status_goesWhenTheIntervalIsFixed()
    {
        Fixture f;
        f.load(QStringLiteral("abc"));
        f.browser.finish({RequestOutcome::Failure::None, 200, "", 0, "good 1.2.3.4"});
        f.presenter->optionen_Click();
        QVERIFY(f.window->WebBrowser1()->toPlainText().startsWith("Sync-Intervall „abc“"));
        f.window->txtTimer()->setText("5");
        const QString text = f.window->WebBrowser1()->toPlainText();
        QVERIFY2(text.startsWith("Zuletzt aktualisiert: ") && text.endsWith("\n\ngood 1.2.3.4"),
                 qPrintable(text));
        QCOMPARE(f.presenter->trayIconHandle(),
                 f.window->pictureHandle(WindowView::Picture::Working));
    }

    void load_storedValues()
    {
        Fixture f;
        f.settings.save("settings", "TavrinKey", "http://127.0.0.1:9/abc");
        f.settings.save("settings", "TavrinTime", "12");
        f.presenter->Form_Load();
        QCOMPARE(toQt(f.presenter->TavrinVar), QStringLiteral("http://127.0.0.1:9/abc"));
        QCOMPARE(f.window->txtTimer()->text(), QStringLiteral("12"));
        QCOMPARE(f.browser.navigated, QStringList{"http://127.0.0.1:9/abc"});
    }

    // Start-up and the countdown in the tray need no control: a text box loads the
    // font database, which the tray icon and the first request should not wait for.
    void controls_builtWhenFirstShown()
    {
        Fixture f;
        f.settings.save("settings", "TavrinTime", "7");
        f.storeKey();
        f.presenter->Form_Load();
        f.browser.finish({RequestOutcome::Failure::None, 200, "", 0, "good 1.2.3.4"});
        f.tick(3);
        QVERIFY(!f.window->controlsBuilt());
        QVERIFY(f.window->findChildren<QLineEdit *>().isEmpty());
        const QStringList savesBefore = f.settings.saves;

        f.presenter->optionen_Click();
        QVERIFY(f.window->controlsBuilt());
        QVERIFY(f.window->txtKey(0)->isVisible());
        QCOMPARE(f.window->txtTimer()->text(), QStringLiteral("7"));
        QVERIFY(f.window->WebBrowser1()->toPlainText().endsWith("\n\ngood 1.2.3.4"));
        QVERIFY(!f.window->cmdKey()->isEnabled());
        QCOMPARE(f.settings.saves, savesBefore);
    }

    // Start-up replaces the interval box's text; as with a text box, only a
    // different text is a change and is saved.
    void load_intervalSavedWhenChanged_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("saves");
        QTest::newRow("first start") << QString() << QStringList{"TavrinTime=5"};
        QTest::newRow("stored 7") << "7" << QStringList{"TavrinTime=7"};
        QTest::newRow("stored as the box starts") << "10" << QStringList();
    }
    void load_intervalSavedWhenChanged()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, saves);
        Fixture f;
        if (!stored.isNull())
            f.settings.save("settings", "TavrinTime", stored.toStdString());
        f.settings.saves.clear();
        f.presenter->Form_Load();
        QCOMPARE(f.settings.saves, saves);
    }

    void load_runMode_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("runMode");
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("lower") << QStringList{"/a"} << "/a";
        QTest::newRow("capitals") << QStringList{"/A"} << "/a";
        QTest::newRow("two words") << QStringList{"/A", "X"} << "/a x";
    }
    void load_runMode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, runMode);
        Fixture f(arguments);
        f.presenter->Form_Load();
        QCOMPARE(toQt(f.presenter->RunMode), runMode);
    }

    void interval_everyEditSaved()
    {
        Fixture f;
        f.presenter->Form_Load();
        f.settings.saves.clear();
        QTest::keyClick(f.window->txtTimer(), Qt::Key_Backspace);
        QTest::keyClicks(f.window->txtTimer(), "7x");
        QCOMPARE(f.settings.saves, (QStringList{"TavrinTime=", "TavrinTime=7", "TavrinTime=7x"}));
    }

    void spin_stepsWithinRangeAndSavesTwice_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up") << "5" << true << "6";
        QTest::newRow("down") << "5" << false << "4";
        QTest::newRow("stops at 60") << "60" << true << "60";
        QTest::newRow("stops at 1") << "1" << false << "1";
        QTest::newRow("above range") << "75" << true << "60";
        QTest::newRow("not a number steps from own value") << "abc" << true << "2";
    }
    void spin_stepsWithinRangeAndSavesTwice()
    {
        QFETCH(QString, start);
        QFETCH(bool, up);
        QFETCH(QString, expected);
        Fixture f;
        f.window->txtTimer()->setText(start);
        f.settings.saves.clear();
        up ? f.window->UpDown1()->stepUp() : f.window->UpDown1()->stepDown();
        QCOMPARE(f.window->txtTimer()->text(), expected);
        if (expected != start)
            QCOMPARE(f.settings.saves.count("TavrinTime=" + expected), 2);
    }

    void tick_countsDownThenSyncs()
    {
        Fixture f;
        f.presenter->Form_Load();
        // Under half a minute: counted as thirty seconds, the box keeps the text.
        f.window->txtTimer()->setText("0.05");
        f.browser.navigated.clear();
        f.tray.messages.clear();
        for (int left = 29; left >= 0; --left) {
            f.tick();
            QCOMPARE(f.window->windowTitle(), QStringLiteral("Count-Down: %1Sec.").arg(left));
        }
        QCOMPARE(f.window->txtTimer()->text(), QStringLiteral("0.05"));
        QCOMPARE(f.settings.value("TavrinTime"), QStringLiteral("0.05"));
        QVERIFY(f.browser.navigated.isEmpty());
        f.tick();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("KORLA DNS Conector SYNC"));
        QCOMPARE(f.browser.navigated, QStringList{QString()});
        QCOMPARE(f.tray.messages, QList<TrayMessage>{TrayMessage::Modify});
        QCOMPARE(f.presenter->tickCount(), 0);
    }

    void outcome_setsIconAndRefreshesTray()
    {
        Fixture f;
        f.storeKey();
        f.presenter->Form_Load();
        const quint32 blue = f.presenter->trayIconHandle();
        f.tray.records.clear();
        f.browser.fail(500);
        const quint32 red = f.presenter->trayIconHandle();
        QVERIFY(red != blue);
        QCOMPARE(f.tray.messages.last(), TrayMessage::Modify);
        QCOMPARE(f.tray.records.last().hIcon, red);
        // A sync shows the last finished outcome.
        f.window->txtTimer()->setText("0.5");
        f.tick(31);
        QCOMPARE(f.presenter->trayIconHandle(), red);
        f.browser.succeed(200);
        QCOMPARE(f.presenter->trayIconHandle(), blue);
        QCOMPARE(f.tray.records.last().hIcon, blue);
    }

    void key_okAppliesConfirmationBox()
    {
        Fixture f;
        f.presenter->Form_Load();
        f.browser.calls.clear();
        f.window->txtKey(0)->setText("my key/1");
        QVERIFY(!f.window->cmdKey()->isEnabled());
        f.window->txtKey(1)->setText("my key/1");
        QVERIFY(f.window->cmdKey()->isEnabled());
        f.window->txtKey(0)->setText("other");
        QVERIFY(!f.window->cmdKey()->isEnabled());
        f.window->txtKey(0)->setText("my key/1");
        QVERIFY(f.window->cmdKey()->isEnabled());
        const qint64 ticks = f.presenter->tickCount();
        QTest::mouseClick(f.window->cmdKey(), Qt::LeftButton);
        const QString url = toQt(UpdateUrl::baseUrl()) + "my key/1";
        QCOMPARE(f.browser.calls, (QStringList{"Stop", "Navigate " + url}));
        QCOMPARE(toQt(f.presenter->TavrinVar), url);
        QCOMPARE(f.settings.value("TavrinKey"), url);
        QCOMPARE(f.presenter->tickCount(), ticks);
    }

    void key_enterPressesOkWhenEnabled_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<int>("box");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("applied");
        const QString key = QStringLiteral("k/1");
        QTest::newRow("Return in first box") << key << key << 0 << int(Qt::Key_Return) << true;
        QTest::newRow("Enter in second box") << key << key << 1 << int(Qt::Key_Enter) << true;
        QTest::newRow("boxes differ") << key << "k/2" << 1 << int(Qt::Key_Return) << false;
    }
    void key_enterPressesOkWhenEnabled()
    {
        QFETCH(QString, entry);
        QFETCH(QString, confirmation);
        QFETCH(int, box);
        QFETCH(int, key);
        QFETCH(bool, applied);
        Fixture f;
        f.load();
        f.presenter->optionen_Click();
        f.window->txtKey(0)->setText(entry);
        f.window->txtKey(1)->setText(confirmation);
        QTest::keyClick(f.window->txtKey(box), Qt::Key(key));
        const QString url = applied ? toQt(UpdateUrl::baseUrl()) + entry : Fixture::url();
        QCOMPARE(f.browser.navigated, applied ? QStringList{url} : QStringList());
        QCOMPARE(f.settings.value("TavrinKey"), url);
    }

    // Typing right after "Optionen..." goes to the first key box, not into the interval.
    void focus_firstKeyBoxWhenFirstShown()
    {
        Fixture f;
        f.load();
        f.presenter->optionen_Click();
        QVERIFY(QTest::qWaitForWindowActive(f.window));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.window->txtKey(0)));
        QTest::keyClicks(QApplication::focusWidget(), "7");
        QCOMPARE(f.window->txtKey(0)->text(), QStringLiteral("7"));
        QCOMPARE(f.window->txtTimer()->text(), QStringLiteral("5"));
        QCOMPARE(f.settings.value("TavrinTime"), QStringLiteral("5"));
    }

    void tray_mouseMessages_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("menuOpen");
        QTest::addColumn<bool>("restored");
        QTest::newRow("right press") << QStringList() << 516 << true << false;
        QTest::newRow("double-click with /a") << QStringList{"/a"} << 515 << false << true;
        QTest::newRow("double-click with /A") << QStringList{"/A"} << 515 << false << true;
        QTest::newRow("double-click without switch") << QStringList() << 515 << false << false;
        QTest::newRow("double-click with /a x") << QStringList{"/a", "x"} << 515 << false << false;
        QTest::newRow("left release") << QStringList{"/a"} << 514 << false << false;
        QTest::newRow("move") << QStringList{"/a"} << 512 << false << false;
        QTest::newRow("right double-click") << QStringList{"/a"} << 518 << false << false;
    }
    void tray_mouseMessages()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, number);
        QFETCH(bool, menuOpen);
        QFETCH(bool, restored);
        Fixture f(arguments);
        f.storeKey();
        f.presenter->Form_Load();
        f.tray.messages.clear();
        f.tray.activate(number);
        QCOMPARE(f.window->datei->isVisible(), menuOpen);
        QCOMPARE(f.window->isVisible(), restored);
        QCOMPARE(f.tray.shown, !restored);
        if (restored)
            QCOMPARE(f.tray.messages.first(), TrayMessage::Delete);
        f.window->datei->hide();
    }

    // Trays that report single clicks only: two quick ones make the double click;
    // where the tray reports the double click too, it is acted on once.
    void tray_clicksPairIntoADoubleClick_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<bool>("quick");
        QTest::addColumn<int>("restores");
        QTest::newRow("two quick clicks") << QStringList{"/a"} << QList<int>{514, 514} << true << 1;
        QTest::newRow("two slow clicks") << QStringList{"/a"} << QList<int>{514, 514} << false << 0;
        QTest::newRow("without switch") << QStringList() << QList<int>{514, 514} << true << 0;
        QTest::newRow("clicks then the real double click")
            << QStringList{"/a"} << QList<int>{514, 514, 515} << true << 1;
        QTest::newRow("click then the real double click")
            << QStringList{"/a"} << QList<int>{514, 515} << true << 1;
    }
    void tray_clicksPairIntoADoubleClick()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<int>, numbers);
        QFETCH(bool, quick);
        QFETCH(int, restores);
        // The tray removals of the messages given, in a fresh window.
        const auto removals = [](const QStringList &words, const QList<int> &messages, int gapMs,
                                 bool *shown) {
            Fixture f(words);
            f.storeKey();
            f.presenter->Form_Load();
            f.tray.messages.clear();
            for (int number : messages) {
                f.tray.activate(number);
                f.clock.advance(gapMs);
            }
            *shown = f.window->isVisible();
            return f.tray.messages.count(TrayMessage::Delete);
        };
        bool shown = false;
        const int oneRestore = removals({"/a"}, {515}, 0, &shown);
        QVERIFY(shown && oneRestore > 0);
        const int gapMs = quick ? 50 : QApplication::doubleClickInterval() + 50;
        QCOMPARE(removals(arguments, numbers, gapMs, &shown), restores * oneRestore);
        QCOMPARE(shown, restores > 0);
    }

    void tray_pointerOverWindowIsNotANotification()
    {
        Fixture f({"/a"});
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window));
        // 516 px across would be a right press if pointer positions were decoded.
        f.window->resize(600, 200);
        QTest::mouseMove(f.window, QPoint(516, 10));
        QVERIFY(!f.window->datei->isVisible());
    }

    void state_optionenShowsAndMinimiseReturnsToTray()
    {
        Fixture f;
        f.presenter->Form_Load();
        f.tray.messages.clear();
        f.window->optionen->trigger();
        QVERIFY(f.window->isVisible());
        QVERIFY(!f.tray.shown);
        f.window->setWindowState(Qt::WindowMinimized);
        QVERIFY(f.window->isHidden());
        QVERIFY(f.tray.shown);
    }

    void state_windowSystemMinimiseReturnsToTray()
    {
        // As a title bar's button does it: through the platform window.
        Fixture f;
        f.presenter->Form_Load();
        f.window->optionen->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(f.window));
        f.tray.messages.clear();
        f.window->QWidget::windowHandle()->setWindowStates(Qt::WindowMinimized);
        QTRY_VERIFY(f.window->isHidden());
        QVERIFY(f.tray.shown);
        // What the platform reports afterwards leaves it there; Optionen brings it back.
        QTest::qWait(200);
        QVERIFY(f.window->isHidden());
        f.window->optionen->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(f.window));
        QVERIFY(!f.window->isMinimized());
        QVERIFY(!f.tray.shown);
    }

    void state_restoredWindowIsNormal_data()
    {
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<int>("doubleClick"); // else "Optionen..."
        QTest::newRow("maximised, Optionen") << true << 0;
        QTest::newRow("maximised, double-click") << true << 1;
        QTest::newRow("normal, Optionen") << false << 0;
    }
    void state_restoredWindowIsNormal()
    {
        QFETCH(bool, maximised);
        QFETCH(int, doubleClick);
        Fixture f({"/a"});
        f.presenter->Form_Load();
        f.presenter->optionen_Click();
        QVERIFY(QTest::qWaitForWindowExposed(f.window));
        // The normal size as laid out for the default font.
        const QSize normal = f.window->size();
        if (maximised) {
            f.window->setWindowState(Qt::WindowMaximized);
            QTRY_VERIFY(f.window->width() > normal.width());
        }
        f.window->setWindowState(f.window->windowState() | Qt::WindowMinimized);
        QVERIFY(f.window->isHidden());
        doubleClick ? f.tray.activate(515) : f.window->optionen->trigger();
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.window->windowState() & ~Qt::WindowActive, Qt::WindowNoState);
        QTRY_COMPARE(f.window->size(), normal);
    }

    void state_noTrayHostKeepsWindowMinimised()
    {
        Fixture f;
        f.tray.available = false;
        f.window->show();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no system tray"));
        f.window->setWindowState(Qt::WindowMinimized);
        QVERIFY(f.window->isVisible());
        QVERIFY(!f.tray.messages.contains(TrayMessage::Add));
    }

    void exit_beendenAsksAndRemovesIcon_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("OK") << true;
        QTest::newRow("Abbrechen") << false;
    }
    void exit_beendenAsksAndRemovesIcon()
    {
        QFETCH(bool, answer);
        Fixture f;
        f.storeKey();
        f.presenter->Form_Load();
        int asked = 0;
        f.window->setQuitConfirmation([&] { return ++asked, answer; });
        QSignalSpy quit(f.window, &TavrinWindow::programEnding);
        f.window->txtTimer()->setText("5");
        f.tick(3);
        f.window->beenden->trigger();
        QCOMPARE(asked, 1);
        QCOMPARE(quit.count(), answer ? 1 : 0);
        QCOMPARE(f.tray.shown, !answer);
        if (!answer) {
            f.tick();
            QCOMPARE(f.presenter->tickCount(), 4);
        }
    }

    // Asked from the tray while the window is hidden: the box stands in the
    // middle of the screen, not over the hidden window's corner.
    void exit_questionCentredOnScreen()
    {
        Fixture f;
        f.presenter->Form_Load();
        QRect box;
        QString title;
        QTimer::singleShot(0, f.window, [&] {
            auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!question)
                return;
            box = question->frameGeometry();
            title = question->windowTitle();
            question->button(QMessageBox::Cancel)->click();
        });
        QSignalSpy quit(f.window, &TavrinWindow::programEnding);
        f.window->beenden->trigger();
        QCOMPARE(title, QStringLiteral("Tavrin Connector beenden..."));
        QCOMPARE(quit.count(), 0);
        const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((box.center() - middle).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("box at %1,%2 %3x%4")
                                .arg(box.x())
                                .arg(box.y())
                                .arg(box.width())
                                .arg(box.height())));
    }

    void exit_closeRemovesIconWithoutQuestion()
    {
        Fixture f;
        int asked = 0;
        f.window->setQuitConfirmation([&] { return ++asked, true; });
        QSignalSpy unloaded(f.window, &TavrinWindow::programEnding);
        f.presenter->Form_Load();
        f.window->close();
        QCOMPARE(unloaded.count(), 1);
        QCOMPARE(asked, 0);
        QCOMPARE(f.tray.messages.last(), TrayMessage::Delete);
    }

    void sync_survivesWhatRunsInsideIt()
    {
        Fixture f;
        f.presenter->Form_Load();
        f.window->txtKey(0)->setText("k2");
        f.window->txtKey(1)->setText("k2");
        f.window->txtTimer()->setText("0.5");
        f.tick(30);
        // While the sync lets events run, OK is pressed and the window is closed.
        f.browser.onNavigate = [&](const QString &) {
            f.browser.onNavigate = nullptr;
            QTimer::singleShot(0, f.window->cmdKey(), &QPushButton::click);
            QTimer::singleShot(0, f.window, &QWidget::close);
        };
        QSignalSpy unloaded(f.window, &TavrinWindow::programEnding);
        f.tick();
        QCOMPARE(unloaded.count(), 1);
        QCOMPARE(f.window->windowTitle(), QStringLiteral("KORLA DNS Conector SYNC"));
        QCOMPARE(f.presenter->tickCount(), 0);
        QCOMPARE(f.settings.value("TavrinKey"), toQt(UpdateUrl::baseUrl()) + "k2");
        QCOMPARE(f.browser.navigated.last(), toQt(UpdateUrl::baseUrl()) + "k2");
    }

    void retry_sameUrlThirtyTicksAfterFailure()
    {
        Fixture f;
        f.load("5");
        f.browser.fail();
        QCOMPARE(f.ticksUntilNavigate(100), 30);
        QCOMPARE(f.browser.navigated, QStringList{Fixture::url()});
        // The retry is no sync: the count and the caption go on as before.
        QCOMPARE(f.presenter->tickCount(), 30);
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Count-Down: 270Sec."));
        QVERIFY(!f.tray.messages.isEmpty());
    }

    void retry_ladderUntilSuccess()
    {
        Fixture f;
        f.load("20");
        f.browser.fail();
        // 30 s, 1, 2, 4, 8 min, 8 min; every failure while a retry is out moves on.
        for (int expected : {30, 60, 120, 240}) {
            QCOMPARE(f.ticksUntilNavigate(1000), expected);
            f.browser.fail();
        }
        QCOMPARE(f.ticksUntilNavigate(1000), 480);
        f.browser.succeed();
        QCOMPARE(f.presenter->nextRetryDueMs(), std::nullopt);
        // Nothing more until the regular sync (1201 ticks after start-up).
        QCOMPARE(f.presenter->tickCount(), 930);
        QCOMPARE(f.ticksUntilNavigate(1000), 1201 - 930);
        QCOMPARE(f.window->windowTitle(), QStringLiteral("KORLA DNS Conector SYNC"));
    }

    void retry_neverAtOrAfterNextSync_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("ticksBeforeFailure");
        QTest::addColumn<int>("navigateAfter"); // ticks after the failure
        QTest::addColumn<bool>("isSync");
        QTest::newRow("sync in 31 ticks: retry first") << "1" << 30 << 30 << false;
        QTest::newRow("sync in 30 ticks: no retry") << "1" << 31 << 30 << true;
        QTest::newRow("sync in 5 ticks") << "1" << 56 << 5 << true;
    }
    void retry_neverAtOrAfterNextSync()
    {
        QFETCH(QString, interval);
        QFETCH(int, ticksBeforeFailure);
        QFETCH(int, navigateAfter);
        QFETCH(bool, isSync);
        Fixture f;
        f.load(interval);
        f.tick(ticksBeforeFailure);
        f.browser.fail();
        QCOMPARE(f.ticksUntilNavigate(100), navigateAfter);
        QCOMPARE(f.presenter->tickCount() == 0, isSync);
        // Whichever it was, only one request went out.
        QCOMPARE(f.browser.navigated.size(), 1);
    }

    void retry_waitsForRequestInFlight()
    {
        Fixture f;
        f.load("5");
        f.browser.fail();
        f.tick(29);
        f.browser.inFlight = true; // another fetch is under way
        f.tick(5);
        QVERIFY(f.browser.navigated.isEmpty());
        f.browser.inFlight = false;
        QCOMPARE(f.ticksUntilNavigate(1), 1);
        QCOMPARE(f.browser.navigated, QStringList{Fixture::url()});
    }

    void retry_droppedByOkLadderKept()
    {
        Fixture f;
        f.load("5");
        f.browser.fail();
        f.tick(10);
        f.window->txtKey(0)->setText("new");
        f.window->txtKey(1)->setText("new");
        f.window->cmdKey()->click();
        QCOMPARE(f.presenter->nextRetryDueMs(), std::nullopt);
        f.browser.navigated.clear();
        f.tick(40);
        QVERIFY(f.browser.navigated.isEmpty());
        // OK's own request failed: the ladder goes on at one minute.
        f.browser.fail();
        QCOMPARE(f.presenter->nextRetryDueMs(), f.clock.ms + 60 * 1000);
        QCOMPARE(f.ticksUntilNavigate(100), 60);
        QCOMPARE(f.browser.navigated, QStringList{toQt(UpdateUrl::baseUrl()) + "new"});
    }

    void retry_droppedBySyncLadderKept()
    {
        Fixture f;
        f.load("5");
        f.tick(40);
        f.browser.fail();
        QVERIFY(f.presenter->nextRetryDueMs());
        // The interval is cut below the seconds counted, so the sync comes before
        // the pending retry.
        f.window->txtTimer()->setText("0.5");
        f.browser.onNavigate = [&](const QString &) {
            f.browser.onNavigate = nullptr;
            QVERIFY(!f.presenter->nextRetryDueMs());
            f.window->txtTimer()->setText("5");
            f.browser.fail();
        };
        QCOMPARE(f.ticksUntilNavigate(10), 1);
        QCOMPARE(f.presenter->tickCount(), 0);
        // The sync's own failure: one minute, counted from a fresh 5-minute count.
        QCOMPARE(f.presenter->nextRetryDueMs(), f.clock.ms + 60 * 1000);
    }

    void catchUp_afterGapSyncsAtThatTick_data()
    {
        QTest::addColumn<qint64>("gapMs");
        QTest::addColumn<bool>("syncs");
        QTest::newRow("29 s") << qint64(29000) << false;
        QTest::newRow("30 s") << qint64(30000) << true;
        QTest::newRow("2 hours") << qint64(2 * 3600 * 1000) << true;
    }
    void catchUp_afterGapSyncsAtThatTick()
    {
        QFETCH(qint64, gapMs);
        QFETCH(bool, syncs);
        Fixture f;
        f.load("5");
        f.tick(10);
        f.browser.fail(); // a retry is pending; a wake-up sync replaces it
        f.clock.advance(gapMs - frmTavrin::TickMs);
        f.tick();
        QCOMPARE(f.browser.navigated.size(), syncs ? 1 : 0);
        QCOMPARE(f.presenter->tickCount(), syncs ? 0 : 11);
        if (!syncs)
            return;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("KORLA DNS Conector SYNC"));
        QCOMPARE(f.presenter->nextRetryDueMs(), std::nullopt);
        // Once only: then the count runs its full course again.
        QCOMPARE(f.ticksUntilNavigate(400), 301);
    }

    void catchUp_networkBackSyncsAtNextTick()
    {
        Fixture f;
        f.load("5");
        f.tick(100);
        f.network.comeBack();
        QVERIFY(f.browser.navigated.isEmpty());
        QCOMPARE(f.ticksUntilNavigate(1), 1);
        QCOMPARE(f.browser.navigated, QStringList{Fixture::url()});
        QCOMPARE(f.presenter->tickCount(), 0);
        QCOMPARE(f.ticksUntilNavigate(400), 301);
    }

    void catchUp_waitsWhileIntervalUnusable()
    {
        Fixture f;
        f.load("5");
        f.window->txtTimer()->setText("x");
        f.network.comeBack();
        f.tick(3);
        QVERIFY(f.browser.navigated.isEmpty());
        f.window->txtTimer()->setText("5");
        QCOMPARE(f.ticksUntilNavigate(1), 1);
    }

    void timeScale_fasterTicksAndRetries()
    {
        FakeSettingsStore settings;
        FakeBrowser browser;
        RecordingTrayShell tray;
        PictureRegistry pictures;
        FakeNetworkReachability network;
        Application app(settings, browser, tray, pictures, {});
        TavrinWindow &window = app.window();
        frmTavrin &presenter = app.presenter();
        app.setReachability(&network);
        settings.save("settings", "TavrinKey", Fixture::url().toStdString());
        app.setTimeScale(50);
        presenter.Form_Load();
        QCOMPARE(window.Timer1->interval(), 20);
        QCOMPARE(app.timeScale(), 50.0);

        // On the system clock, 30 s of retry delay pass in 0.6 s.
        browser.navigated.clear();
        QElapsedTimer elapsed;
        elapsed.start();
        browser.fail();
        QTRY_COMPARE_WITH_TIMEOUT(browser.navigated.size(), 1, 3000);
        QVERIFY2(elapsed.elapsed() >= 550, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(presenter.tickCount() > 0);

        app.setTimeScale(1);
        QCOMPARE(window.Timer1->interval(), 1000);
    }
};

QTEST_MAIN(tst_TavrinWindow)
#include "tst_tavrinwindow.moc"
