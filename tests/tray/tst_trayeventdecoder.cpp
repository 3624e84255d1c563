#include "tray/TrayEventDecoder.h"

#include <QTest>

#include <cmath>
#include <limits>

using Action = TrayEventDecoder::Action;

class TestTrayEventDecoder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<QString>("runMode");
        QTest::addColumn<Action>("action");

        for (int message : {512, 513, 514, 517, 518})
            QTest::addRow("%d", message) << message << "/a" << Action::None;
        for (const char *mode : {"", "/a", "/b"})
            QTest::addRow("516 '%s'", mode) << 516 << mode << Action::OpenMenu;
        QTest::newRow("515 /a") << 515 << "/a" << Action::RestoreWindow;
        for (const char *mode : {"", "/a x", "/b", "/A", " /a"})
            QTest::addRow("515 '%s'", mode) << 515 << mode << Action::None;
    }

    void decode()
    {
        QFETCH(int, message);
        QFETCH(QString, runMode);
        QFETCH(Action, action);

        for (double twipsPerPixel : {15.0, 12.0}) {
            const double x = TrayEventDecoder::xForMouseMessage(message, twipsPerPixel);
            QCOMPARE(x, message * twipsPerPixel);
            QCOMPARE(TrayEventDecoder::decode(x, twipsPerPixel, runMode), action);
        }
    }

    void mouseMessageFromX_data()
    {
        QTest::addColumn<double>("xTwips");
        QTest::addColumn<double>("twipsPerPixel");
        QTest::addColumn<int>("message");

        QTest::newRow("exact at 15") << 516 * 15.0 << 15.0 << 516;
        QTest::newRow("exact at 12") << 515 * 12.0 << 12.0 << 515;
        QTest::newRow("just below at 15") << 516 * 15.0 - 7 << 15.0 << 516;
        QTest::newRow("just above at 15") << 516 * 15.0 + 7 << 15.0 << 516;
        QTest::newRow("past half rounds up") << 515 * 15.0 + 8 << 15.0 << 516;
        QTest::newRow("past half rounds down") << 516 * 12.0 - 7 << 12.0 << 515;
        QTest::newRow("fractional scale") << 516 * 13.5 + 0.2 << 13.5 << 516;
        QTest::newRow("zero scale") << 7740.0 << 0.0 << 0;
        QTest::newRow("negative scale") << 7740.0 << -15.0 << 0;
        QTest::newRow("NaN x") << std::nan("") << 15.0 << 0;
        QTest::newRow("infinite x") << std::numeric_limits<double>::infinity() << 15.0 << 0;
        QTest::newRow("beyond int") << 1e300 << 15.0 << 0;
    }

    void mouseMessageFromX()
    {
        QFETCH(double, xTwips);
        QFETCH(double, twipsPerPixel);
        QFETCH(int, message);

        QCOMPARE(TrayEventDecoder::mouseMessageFromX(xTwips, twipsPerPixel), message);
    }
};

QTEST_GUILESS_MAIN(TestTrayEventDecoder)
#include "tst_trayeventdecoder.moc"
