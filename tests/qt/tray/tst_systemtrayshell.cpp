// Runs on a real X11 desktop with a tray host (see tests/support/with-desktop.sh):
// what the shell does is checked on the screen, not only through Qt's state.
#include "qt/tray/PictureRegistry.h"
#include "qt/tray/SystemTrayShell.h"
#include "tray/MouseMessage.h"
#include "tray/TrayIconRecord.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

namespace {

const QColor BlueEmblem(82, 110, 150);
const QColor BlueGround(250, 250, 248);
const QColor RedEmblem(206, 33, 29);
const QColor RedGround(255, 176, 132);

QIcon drawPicture(const QColor &ground, const QColor &emblem)
{
    QPixmap pixmap(32, 30);
    pixmap.fill(ground);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(8, 7, 16, 16), emblem);
    return QIcon(pixmap);
}

bool near(QRgb pixel, const QColor &colour)
{
    return qAbs(qRed(pixel) - colour.red()) <= 10 && qAbs(qGreen(pixel) - colour.green()) <= 10 &&
           qAbs(qBlue(pixel) - colour.blue()) <= 10;
}

int pixelsOnScreen(const QColor &colour)
{
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < screen.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x)
            count += near(line[x], colour);
    }
    return count;
}

// A visible emblem scaled into the tray slot still covers far more than this.
constexpr int Seen = 20;

// Whether a window of this program sits inside trayer's panel in the window tree.
bool embeddedInTrayer()
{
    QProcess tree;
    tree.start(QStringLiteral("xwininfo"), {"-root", "-tree"});
    if (!tree.waitForFinished())
        return false;
    const QString ours = QStringLiteral("(\"%1\"").arg(QCoreApplication::applicationName());
    qsizetype panelDepth = -1;
    for (const QString &line : QString::fromLocal8Bit(tree.readAllStandardOutput()).split('\n')) {
        const qsizetype depth = line.indexOf(QRegularExpression("\\S"));
        if (depth < 0)
            continue;
        if (panelDepth >= 0 && depth <= panelDepth)
            panelDepth = -1;
        if (line.contains(QLatin1String("(\"panel\" \"trayer\")")))
            panelDepth = depth;
        else if (panelDepth >= 0 && line.contains(ours))
            return true;
    }
    return false;
}

bool xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace

class TestSystemTrayShell : public QObject
{
    Q_OBJECT
private:
    PictureRegistry m_pictures;
    quint32 m_blue = 0;
    quint32 m_red = 0;

    QSystemTrayIcon *trayIcon(SystemTrayShell &shell)
    {
        return shell.findChild<QSystemTrayIcon *>();
    }

    void send(SystemTrayShell &shell, TrayMessage message, quint32 picture)
    {
        shell.notify(message, TrayIconRecord::make(1, picture));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QTRY_VERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        m_blue = m_pictures.add(drawPicture(BlueGround, BlueEmblem));
        m_red = m_pictures.add(drawPicture(RedGround, RedEmblem));
    }

    void init()
    {
        // A shell of the previous test may still be leaving the tray.
        QTRY_COMPARE(pixelsOnScreen(BlueEmblem) + pixelsOnScreen(RedEmblem), 0);
    }

    void addShowsPictureAndTip()
    {
        SystemTrayShell shell(m_pictures);
        send(shell, TrayMessage::Add, m_red);

        QVERIFY(shell.isShown());
        QVERIFY(trayIcon(shell)->isVisible());
        QCOMPARE(trayIcon(shell)->toolTip(), QStringLiteral("KORLA Tavrin Connector"));
        QTRY_VERIFY(pixelsOnScreen(RedEmblem) > Seen);
        QTRY_VERIFY(embeddedInTrayer());
        QVERIFY(!trayIcon(shell)->geometry().isEmpty());
    }

    void modifyChangesPicture()
    {
        SystemTrayShell shell(m_pictures);
        send(shell, TrayMessage::Add, m_red);
        QTRY_VERIFY(pixelsOnScreen(RedEmblem) > Seen);

        send(shell, TrayMessage::Modify, m_blue);
        QTRY_VERIFY(pixelsOnScreen(BlueEmblem) > Seen);
        QCOMPARE(pixelsOnScreen(RedEmblem), 0);

        send(shell, TrayMessage::Modify, m_red);
        QTRY_VERIFY(pixelsOnScreen(RedEmblem) > Seen);
        QCOMPARE(pixelsOnScreen(BlueEmblem), 0);
        QVERIFY(shell.isShown());
    }

    void unknownPictureKeepsPrevious()
    {
        SystemTrayShell shell(m_pictures);
        send(shell, TrayMessage::Add, m_blue);
        QTRY_VERIFY(pixelsOnScreen(BlueEmblem) > Seen);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unknown picture handle"));
        send(shell, TrayMessage::Modify, 0xDEAD);
        QVERIFY(shell.isShown());
        QTest::qWait(200); // a wrongly cleared picture would be repainted by now
        QVERIFY(pixelsOnScreen(BlueEmblem) > Seen);
    }

    void deleteRemovesIcon()
    {
        SystemTrayShell shell(m_pictures);
        send(shell, TrayMessage::Add, m_blue);
        QTRY_VERIFY(pixelsOnScreen(BlueEmblem) > Seen);

        send(shell, TrayMessage::Delete, m_blue);
        QVERIFY(!shell.isShown());
        QVERIFY(!trayIcon(shell)->isVisible());
        QTRY_COMPARE(pixelsOnScreen(BlueEmblem), 0);
        QTRY_VERIFY(!embeddedInTrayer());

        // Shown again after removal, with the picture of the new record.
        send(shell, TrayMessage::Add, m_red);
        QTRY_VERIFY(pixelsOnScreen(RedEmblem) > Seen);
    }

    void modifyAndDeleteWithoutIconAreSilent()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        SystemTrayShell shell(m_pictures);
        QList<int> messages;
        shell.setMouseHandler([&messages](int number) { messages.append(number); });

        send(shell, TrayMessage::Modify, m_red);
        send(shell, TrayMessage::Delete, m_red);
        send(shell, TrayMessage::Modify, 0xDEAD); // not even the unknown picture is looked at

        QVERIFY(!shell.isShown());
        QVERIFY(trayIcon(shell)->icon().isNull());
        QTest::qWait(200);
        QCOMPARE(pixelsOnScreen(RedEmblem), 0);
        QVERIFY(messages.isEmpty());

        // After an add and a delete, further deletes are just as harmless.
        send(shell, TrayMessage::Add, m_red);
        send(shell, TrayMessage::Delete, m_red);
        send(shell, TrayMessage::Delete, m_red);
        send(shell, TrayMessage::Modify, m_blue);
        QVERIFY(!shell.isShown());
        QTRY_COMPARE(pixelsOnScreen(RedEmblem), 0);
        QCOMPARE(pixelsOnScreen(BlueEmblem), 0);
    }

    void clicksBecomeMouseMessages_data()
    {
        QTest::addColumn<QStringList>("click");
        QTest::addColumn<int>("message");

        QTest::newRow("right") << QStringList{"click", "3"} << 516;
        QTest::newRow("left") << QStringList{"click", "1"} << 514;
        QTest::newRow("middle") << QStringList{"click", "2"} << 520;
        QTest::newRow("left double")
            << QStringList{"click", "--repeat", "2", "--delay", "80", "1"} << 515;
    }

    void clicksBecomeMouseMessages()
    {
        QFETCH(QStringList, click);
        QFETCH(int, message);

        SystemTrayShell shell(m_pictures);
        QList<int> messages;
        shell.setMouseHandler([&messages](int number) { messages.append(number); });
        send(shell, TrayMessage::Add, m_blue);
        QTRY_VERIFY(pixelsOnScreen(BlueEmblem) > Seen);

        const QPoint centre = trayIcon(shell)->geometry().center();
        QVERIFY(xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())}));
        QVERIFY(xdotool(click));
        QTRY_VERIFY(messages.contains(message));
    }

    // A click on the icon's message reaches the presenter as the core's number for it.
    void notificationClickBecomesItsMessage()
    {
        SystemTrayShell shell(m_pictures);
        QList<int> messages;
        shell.setMouseHandler([&messages](int number) { messages.append(number); });
        send(shell, TrayMessage::Add, m_blue);
        QVERIFY(trayIcon(shell));
        emit trayIcon(shell)->messageClicked();
        QCOMPARE(messages, QList<int>{MouseMessage::NotificationClick});
    }
};

QTEST_MAIN(TestSystemTrayShell)
#include "tst_systemtrayshell.moc"
