// The shell on a platform without any notification area (offscreen).
#include "qt/tray/PictureRegistry.h"
#include "qt/tray/SystemTrayShell.h"
#include "tray/TrayIconRecord.h"

#include <QPixmap>
#include <QRegularExpression>
#include <QTest>

class TestTrayWithoutHost : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void operationsAreHarmlessAndWarnOnce()
    {
        PictureRegistry pictures;
        QPixmap pixmap(32, 30);
        pixmap.fill(Qt::red);
        const quint32 picture = pictures.add(QIcon(pixmap));
        SystemTrayShell shell(pictures);
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(!shell.hostAvailable());

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No system tray available"));
        // Qt itself may warn about the missing platform tray; only a repeat of ours fails.
        QTest::failOnWarning(QRegularExpression("No system tray available"));
        const TrayIconRecord record = TrayIconRecord::make(1, picture);
        for (int round = 0; round < 2; ++round) {
            shell.notify(TrayMessage::Add, record);
            shell.notify(TrayMessage::Modify, record);
            shell.notify(TrayMessage::Delete, record);
            shell.notify(TrayMessage::Delete, record);
            QVERIFY(!shell.isShown());
        }
    }
};

QTEST_MAIN(TestTrayWithoutHost)
#include "tst_traywithouthost.moc"
