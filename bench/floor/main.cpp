// The floor program: the least a Qt 6 tray program of this kind has to do. It
// shows a 16x16 tray icon, keeps a hidden widget whose title counts the seconds
// to the next request, and sends an HTTP GET to one URL at start and every N
// seconds. The benchmark compares the real program against it.
//
// Usage: tavrin-floor <url> <seconds> [--show]
//   --show  shows the widget at start (for the "shown" figures)

#include <QApplication>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

QIcon makeIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.fillRect(3, 3, 10, 10, QColor(0, 96, 192));
    return QIcon(pixmap);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments = QApplication::arguments().mid(1);
    const bool show = arguments.contains(QStringLiteral("--show"));
    QStringList positional = arguments;
    positional.removeAll(QStringLiteral("--show"));
    bool secondsOk = false;
    const int seconds = positional.value(1).toInt(&secondsOk);
    const QUrl url(positional.value(0));
    if (positional.size() != 2 || !url.isValid() || !secondsOk || seconds < 1) {
        std::fprintf(stderr, "usage: tavrin-floor <url> <seconds> [--show]\n");
        return 2;
    }

    QWidget window;
    window.resize(360, 120);

    QSystemTrayIcon tray(makeIcon());
    tray.setToolTip(QStringLiteral("tavrin-floor"));
    tray.show();

    QNetworkAccessManager network;
    const auto get = [&network, &url] {
        QNetworkReply *reply = network.get(QNetworkRequest(url));
        // The answer is read and dropped; only the request matters.
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
            reply->readAll();
            reply->deleteLater();
        });
    };

    int secondsLeft = seconds;
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        if (--secondsLeft <= 0) {
            get();
            secondsLeft = seconds;
        }
        window.setWindowTitle(QStringLiteral("Count-Down: %1Sec.").arg(secondsLeft));
    });

    window.setWindowTitle(QStringLiteral("Count-Down: %1Sec.").arg(secondsLeft));
    get();
    tick.start();
    if (show)
        window.show();
    return QApplication::exec();
}
