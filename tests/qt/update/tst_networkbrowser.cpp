#include "LoopbackHttpServer.h"
#include "qt/update/NetworkBrowser.h"
#include "update/UpdateUrl.h"

#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <zlib.h>

namespace {

// Every message logged while a test runs, for the checks on what the log may hold.
struct LoggedLine
{
    QString category;
    QString text;
};
QList<LoggedLine> loggedLines;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    loggedLines.append({QString::fromUtf8(context.category), text});
    if (previousHandler)
        previousHandler(type, context, text);
}

QList<LoggedLine> updateLines()
{
    QList<LoggedLine> lines;
    for (const LoggedLine &line : std::as_const(loggedLines)) {
        if (line.category == QLatin1String("tavrin.update"))
            lines.append(line);
    }
    return lines;
}

// The outcome signals of one browser.
struct Outcomes
{
    explicit Outcomes(NetworkBrowser &browser)
        : succeeded(&browser, &BrowserControl::requestSucceeded),
          failed(&browser, &BrowserControl::requestFailed),
          pages(&browser, &BrowserControl::pageLoaded)
    {
    }
    int count() const { return int(succeeded.count() + failed.count()); }

    QSignalSpy succeeded;
    QSignalSpy failed;
    QSignalSpy pages;
};

void restoreEnvironment(const char *name, const QByteArray &saved)
{
    if (saved.isNull())
        qunsetenv(name);
    else
        qputenv(name, saved);
}

LoopbackHttpServer::Answer withStatus(int status, const QByteArray &body)
{
    LoopbackHttpServer::Answer answer = LoopbackHttpServer::ok(body);
    answer.status = status;
    return answer;
}

// An https server on 127.0.0.1 with a certificate of its own: every request
// gets the same answer, then the connection closes.
class TlsServer : public QObject
{
public:
    bool listen(const QSslCertificate &certificate, const QSslKey &key)
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(certificate);
        config.setPrivateKey(key);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server.setSslConfiguration(config);
        connect(&m_server, &QSslServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

    QByteArray answer;
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket *socket)
    {
        auto *buffer = new QByteArray;
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (!buffer->contains("\r\n\r\n"))
                return;
            requests.append(buffer->left(buffer->indexOf("\r\n")));
            buffer->clear();
            socket->write(answer);
            socket->disconnectFromHost();
        });
    }

    QSslServer m_server;
};

// text packed by zlib: windowBits 31 gives gzip, 15 zlib, -15 raw deflate.
QByteArray packed(const QByteArray &text, int windowBits)
{
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    QByteArray out(int(deflateBound(&stream, uLong(text.size()))) + 32, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    stream.avail_in = uInt(text.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(out.size() - int(stream.avail_out));
    deflateEnd(&stream);
    return out;
}

} // namespace

class TestNetworkBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void keyReachesServerEncoded_data();
    void keyReachesServerEncoded();
    void busyUntilOutcome();
    void stopAbandonsFetch();
    void newNavigateAbandonsPrevious();
    void navigateFromOutcomeSlotStartsNewFetch();
    void deletingBusyBrowserHangsUpSilently();
    void redirectsFollowed_data();
    void redirectsFollowed();
    void redirectLoopFails();
    void httpStatusDecidesOutcome_data();
    void httpStatusDecidesOutcome();
    void transportFailures_data();
    void transportFailures();
    void refusedUrlSendsNothing_data();
    void refusedUrlSendsNothing();
    void answerSizeLimit_data();
    void answerSizeLimit();
    void pageKindAndText_data();
    void pageKindAndText();
    void logAndReasonsNeverHoldKey();
    void proxyFromEnvironment();
    void answerWordsDecideOutcome_data();
    void answerWordsDecideOutcome();
    void outcomeLogLine_data();
    void outcomeLogLine();
    void compressedAnswers_data();
    void compressedAnswers();
    void httpsFetch_data();
    void httpsFetch();

private:
    QTemporaryDir m_certificateDir;
    QSslCertificate m_certificate;
    QSslKey m_key;
    LoopbackHttpServer *m_server = nullptr;
    std::unique_ptr<LoopbackHttpServer> m_serverOwner;
};

void TestNetworkBrowser::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tavrin.update.info=true"));
    previousHandler = qInstallMessageHandler(recordMessage);

    // A self-signed certificate for 127.0.0.1, made afresh for this run.
    QVERIFY(m_certificateDir.isValid());
    const QString certPath = m_certificateDir.filePath(QStringLiteral("cert.pem"));
    const QString keyPath = m_certificateDir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", keyPath,
                   "-out", certPath});
    QVERIFY2(openssl.waitForFinished(30000), "openssl did not finish");
    QCOMPARE(openssl.exitCode(), 0);
    QFile certFile(certPath);
    QFile keyFile(keyPath);
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    m_certificate = QSslCertificate(&certFile, QSsl::Pem);
    m_key = QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem);
    QVERIFY(!m_certificate.isNull());
    QVERIFY(!m_key.isNull());
}

void TestNetworkBrowser::init()
{
    m_serverOwner = std::make_unique<LoopbackHttpServer>();
    m_server = m_serverOwner.get();
    QVERIFY(m_server->listen());
    loggedLines.clear();
}

void TestNetworkBrowser::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

void TestNetworkBrowser::keyReachesServerEncoded_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("plain") << "abc123" << QByteArray("/abc123");
    QTest::newRow("spaces and slashes")
        << "my key/with parts" << QByteArray("/my%20key/with%20parts");
    QTest::newRow("query") << "nic/update?hostname=h&pw=p"
                           << QByteArray("/nic/update?hostname=h&pw=p");
    QTest::newRow("header injection")
        << "k\r\nX-Injected: 1" << QByteArray("/k%0D%0AX-Injected:%201");
    QTest::newRow("bare LF") << "k\nX-Injected: 1" << QByteArray("/k%0AX-Injected:%201");
    QTest::newRow("NUL and DEL") << QString::fromLatin1("a\0b\x7f", 4) << QByteArray("/a%00b%7F");
    QTest::newRow("stray percent") << "100%" << QByteArray("/100%25");
}

void TestNetworkBrowser::keyReachesServerEncoded()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, target);

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(QString::fromStdString(
        UpdateUrl::compose(m_server->url().toStdString(), key.toStdString())));
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(outcomes.succeeded.count(), 1);
    QCOMPARE(outcomes.succeeded.at(0).at(0).toInt(), 200);

    QCOMPARE(m_server->requestCount(), 1);
    const LoopbackHttpServer::Request request = m_server->requests().at(0);
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, target);
    // The request line stays one line and no header comes from the key.
    QCOMPARE(request.raw.left(request.raw.indexOf("\r\n")), "GET " + target + " HTTP/1.1");
    QVERIFY(!request.hasHeader("X-Injected"));
    QCOMPARE(request.raw.count('\n'), request.headers.size() + 2);
}

void TestNetworkBrowser::busyUntilOutcome()
{
    LoopbackHttpServer::Answer slow = LoopbackHttpServer::ok("good");
    slow.delayMs = 300;
    m_server->setDefaultAnswer(slow);

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    QList<bool> busyAtSignal;
    connect(&browser, &BrowserControl::pageLoaded, this,
            [&] { busyAtSignal.append(browser.Busy()); });
    connect(&browser, &BrowserControl::requestSucceeded, this,
            [&] { busyAtSignal.append(browser.Busy()); });

    QVERIFY(!browser.Busy());
    browser.Navigate(m_server->url("/k"));
    QVERIFY(browser.Busy());
    QTRY_COMPARE(m_server->requestCount(), 1);
    QVERIFY(browser.Busy());
    QCOMPARE(outcomes.count(), 0);

    QTRY_COMPARE(outcomes.succeeded.count(), 1);
    QVERIFY(!browser.Busy());
    QCOMPARE(busyAtSignal, QList<bool>({false, false}));
}

void TestNetworkBrowser::stopAbandonsFetch()
{
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setDefaultAnswer(silent);

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/k"));
    QTRY_COMPARE(m_server->requestCount(), 1);

    browser.Stop();
    QVERIFY(!browser.Busy());
    QTRY_COMPARE(m_server->hangUps(), 1);
    browser.Stop(); // nothing left to stop
    QCoreApplication::processEvents();
    QCOMPARE(outcomes.count(), 0);
    QCOMPARE(outcomes.pages.count(), 0);
}

void TestNetworkBrowser::newNavigateAbandonsPrevious()
{
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setAnswer("/first", silent);
    m_server->setAnswer("/second", LoopbackHttpServer::ok("second answer"));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/first"));
    QTRY_COMPARE(m_server->requestCount(), 1);
    browser.Navigate(m_server->url("/second"));
    QVERIFY(browser.Busy());

    QTRY_COMPARE(outcomes.succeeded.count(), 1);
    QTRY_COMPARE(m_server->hangUps(), 1);
    QCOMPARE(outcomes.failed.count(), 0);
    QCOMPARE(outcomes.pages.count(), 1);
    QCOMPARE(outcomes.pages.at(0).at(0).toString(), QStringLiteral("second answer"));
}

void TestNetworkBrowser::navigateFromOutcomeSlotStartsNewFetch()
{
    m_server->setAnswer("/again", LoopbackHttpServer::ok("second"));
    m_server->setDefaultAnswer(LoopbackHttpServer::ok("first"));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    bool navigated = false;
    connect(&browser, &BrowserControl::requestSucceeded, this, [&] {
        if (!navigated) {
            navigated = true;
            browser.Navigate(m_server->url("/again"));
        }
    });

    browser.Navigate(m_server->url("/k"));
    QTRY_COMPARE(outcomes.succeeded.count(), 2);
    QVERIFY(!browser.Busy());
    QCOMPARE(m_server->requestCount(), 2);
    QCOMPARE(outcomes.pages.at(1).at(0).toString(), QStringLiteral("second"));
}

void TestNetworkBrowser::deletingBusyBrowserHangsUpSilently()
{
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setDefaultAnswer(silent);

    auto browser = std::make_unique<NetworkBrowser>();
    Outcomes outcomes(*browser);
    browser->Navigate(m_server->url("/k"));
    QTRY_COMPARE(m_server->requestCount(), 1);
    browser.reset();
    QTRY_COMPARE(m_server->hangUps(), 1);
    QCOMPARE(outcomes.count(), 0);
}

void TestNetworkBrowser::redirectsFollowed_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("301") << 301;
    QTest::newRow("302") << 302;
    QTest::newRow("303") << 303;
    QTest::newRow("307") << 307;
    QTest::newRow("308") << 308;
}

void TestNetworkBrowser::redirectsFollowed()
{
    QFETCH(int, status);
    m_server->setAnswer("/start", LoopbackHttpServer::redirect("/middle", status));
    m_server->setAnswer("/middle",
                        LoopbackHttpServer::redirect(m_server->url("/final").toUtf8(), status));
    m_server->setAnswer("/final", LoopbackHttpServer::ok("arrived"));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/start"));
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(outcomes.succeeded.count(), 1);
    QCOMPARE(outcomes.succeeded.at(0).at(0).toInt(), 200);
    QCOMPARE(outcomes.pages.count(), 1);
    QCOMPARE(outcomes.pages.at(0).at(0).toString(), QStringLiteral("arrived"));

    QList<QByteArray> targets;
    for (const auto &request : m_server->requests())
        targets.append(request.target);
    QCOMPARE(targets, QList<QByteArray>({"/start", "/middle", "/final"}));
}

void TestNetworkBrowser::redirectLoopFails()
{
    m_server->setDefaultAnswer(LoopbackHttpServer::redirect("/loop"));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/loop"));
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(outcomes.failed.count(), 1);
    QCOMPARE(outcomes.failed.at(0).at(0).toInt(), 0);
    QVERIFY(!outcomes.failed.at(0).at(1).toString().isEmpty());
    QVERIFY(!browser.Busy());
    QCOMPARE(outcomes.pages.count(), 0);
    QVERIFY(m_server->requestCount() <= NetworkBrowser::MaxRedirects + 1);
}

void TestNetworkBrowser::httpStatusDecidesOutcome_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("200") << 200 << true;
    QTest::newRow("201") << 201 << true;
    QTest::newRow("304 unfollowed") << 304 << true;
    QTest::newRow("400") << 400 << false;
    QTest::newRow("401") << 401 << false;
    QTest::newRow("404") << 404 << false;
    QTest::newRow("500") << 500 << false;
    QTest::newRow("503") << 503 << false;
}

void TestNetworkBrowser::httpStatusDecidesOutcome()
{
    QFETCH(int, status);
    QFETCH(bool, succeeds);
    // 304 carries no body by definition.
    const QByteArray body = status == 304 ? QByteArray() : QByteArray("answer text");
    m_server->setDefaultAnswer(withStatus(status, body));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/k"));
    QTRY_COMPARE(outcomes.count(), 1);
    QVERIFY(!browser.Busy());
    if (succeeds) {
        QCOMPARE(outcomes.succeeded.count(), 1);
        QCOMPARE(outcomes.succeeded.at(0).at(0).toInt(), status);
    } else {
        QCOMPARE(outcomes.failed.count(), 1);
        QCOMPARE(outcomes.failed.at(0).at(0).toInt(), status);
        QVERIFY(outcomes.failed.at(0).at(1).toString().contains(QString::number(status)));
    }
    // The server's answer is shown either way, before the outcome.
    QCOMPARE(outcomes.pages.count(), 1);
    QCOMPARE(outcomes.pages.at(0).at(0).toString(), QString::fromUtf8(body));
}

void TestNetworkBrowser::transportFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("connection refused") << "refused";
    QTest::newRow("server hangs up") << "hangup";
    QTest::newRow("no answer in time") << "silent";
    QTest::newRow("answer cut short") << "truncated";
}

void TestNetworkBrowser::transportFailures()
{
    QFETCH(QString, situation);
    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.setTransferTimeout(300);

    QString url = m_server->url("/k");
    LoopbackHttpServer::Answer answer;
    if (situation == QLatin1String("refused")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        url = QStringLiteral("http://127.0.0.1:%1/k").arg(closed.serverPort());
        closed.close();
    } else if (situation == QLatin1String("hangup")) {
        answer.closeWithoutAnswer = true;
    } else if (situation == QLatin1String("silent")) {
        answer.neverAnswer = true;
    } else {
        // Declares more than it sends, then closes.
        answer = LoopbackHttpServer::ok("short");
        answer.omitContentLength = true;
        answer.headers.append({QByteArray("Content-Length"), QByteArray("100")});
    }
    m_server->setDefaultAnswer(answer);

    browser.Navigate(url);
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(outcomes.failed.count(), 1);
    QCOMPARE(outcomes.failed.at(0).at(0).toInt(), 0);
    QVERIFY(!outcomes.failed.at(0).at(1).toString().isEmpty());
    QVERIFY(!browser.Busy());
    QCOMPARE(outcomes.pages.count(), 0);
    if (situation == QLatin1String("silent"))
        QTRY_COMPARE(m_server->hangUps(), 1);
}

void TestNetworkBrowser::refusedUrlSendsNothing_data()
{
    QTest::addColumn<QString>("url"); // %1 stands for the server's port
    QTest::newRow("empty") << "";
    QTest::newRow("prose") << "not a url";
    QTest::newRow("no host") << "http:///k";
    QTest::newRow("ftp to the server") << "ftp://127.0.0.1:%1/k";
    QTest::newRow("no scheme") << "127.0.0.1:%1/k";
    QTest::newRow("file") << "file:///etc/hostname";
}

void TestNetworkBrowser::refusedUrlSendsNothing()
{
    QFETCH(QString, url);
    if (url.contains(QLatin1String("%1")))
        url = url.arg(m_server->port());

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(url);
    QVERIFY(!browser.Busy());
    QTest::qWait(100);
    QCOMPARE(m_server->requestCount(), 0);
    QCOMPARE(outcomes.count(), 0);
    QCOMPARE(outcomes.pages.count(), 0);
    QCOMPARE(updateLines().size(), 1);
}

void TestNetworkBrowser::answerSizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("declared"); // Content-Length sent
    QTest::addColumn<bool>("accepted");

    const qint64 limit = NetworkBrowser::MaxAnswerBytes;
    QTest::newRow("at the limit, declared") << limit << true << true;
    QTest::newRow("one byte over, declared") << limit + 1 << true << false;
    QTest::newRow("at the limit, undeclared") << limit << false << true;
    QTest::newRow("one byte over, undeclared") << limit + 1 << false << false;
    QTest::newRow("twice the limit, undeclared") << 2 * limit << false << false;
}

void TestNetworkBrowser::answerSizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, declared);
    QFETCH(bool, accepted);

    LoopbackHttpServer::Answer big = LoopbackHttpServer::ok(QByteArray(size, 'x'));
    big.omitContentLength = !declared;
    m_server->setDefaultAnswer(big);

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/k"));
    QTRY_COMPARE(outcomes.count(), 1);
    QVERIFY(!browser.Busy());
    if (accepted) {
        QCOMPARE(outcomes.succeeded.count(), 1);
        QCOMPARE(outcomes.pages.count(), 1);
        // Only the beginning is offered for display.
        QCOMPARE(outcomes.pages.at(0).at(0).toString(),
                 QString(NetworkBrowser::MaxShownChars, QLatin1Char('x')));
    } else {
        QCOMPARE(outcomes.failed.count(), 1);
        QCOMPARE(outcomes.failed.at(0).at(0).toInt(), 0);
        QCOMPARE(outcomes.failed.at(0).at(1).toString(), QStringLiteral("answer too large"));
        QCOMPARE(outcomes.pages.count(), 0);
    }
}

void TestNetworkBrowser::pageKindAndText_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("isHtml");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain answer") << QByteArray("text/plain") << QByteArray("good 192.0.2.1")
                                  << false << "good 192.0.2.1";
    QTest::newRow("no content type") << QByteArray() << QByteArray("nochg") << false << "nochg";
    QTest::newRow("text/html with charset")
        << QByteArray("text/html; charset=utf-8") << QByteArray("<p>ok</p>") << true << "<p>ok</p>";
    QTest::newRow("content type in capitals")
        << QByteArray("TEXT/HTML") << QByteArray("ok") << true << "ok";
    QTest::newRow("doctype without content type")
        << QByteArray() << QByteArray("<!DOCTYPE html><p>x</p>") << true
        << "<!DOCTYPE html><p>x</p>";
    QTest::newRow("html tag after whitespace, octet-stream")
        << QByteArray("application/octet-stream") << QByteArray("\r\n  <HTML><body>x") << true
        << "\r\n  <HTML><body>x";
    QTest::newRow("angle bracket is not enough")
        << QByteArray("text/plain") << QByteArray("<b>") << false << "<b>";
    QTest::newRow("Latin-1 charset")
        << QByteArray("text/plain; charset=ISO-8859-1") << QByteArray("gr\xFC\xDF") << false
        << QStringLiteral("gr\u00FC\u00DF");
    QTest::newRow("UTF-8 by default") << QByteArray("text/plain") << QByteArray("gr\xC3\xBC")
                                      << false << QStringLiteral("gr\u00FC");
}

void TestNetworkBrowser::pageKindAndText()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(bool, isHtml);
    QFETCH(QString, text);

    m_server->setDefaultAnswer(LoopbackHttpServer::ok(body, contentType));
    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/k"));
    QTRY_COMPARE(outcomes.succeeded.count(), 1);
    QCOMPARE(outcomes.pages.count(), 1);
    QCOMPARE(outcomes.pages.at(0).at(0).toString(), text);
    QCOMPARE(outcomes.pages.at(0).at(1).toBool(), isHtml);
}

void TestNetworkBrowser::logAndReasonsNeverHoldKey()
{
    const QString key = QStringLiteral("S3cretKey");
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setAnswer("/ok/" + key.toUtf8(), LoopbackHttpServer::ok("good"));
    m_server->setAnswer("/err/" + key.toUtf8(), withStatus(500, "broken " + key.toUtf8()));
    m_server->setAnswer("/hop/" + key.toUtf8(),
                        LoopbackHttpServer::redirect("/ok/" + key.toUtf8()));
    m_server->setAnswer("/slow/" + key.toUtf8(), silent);
    m_server->setAnswer("/cut/" + key.toUtf8(), [] {
        LoopbackHttpServer::Answer a;
        a.closeWithoutAnswer = true;
        return a;
    }());

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.setTransferTimeout(300);
    const QStringList paths = {"/ok/", "/err/", "/hop/", "/slow/", "/cut/"};
    for (const QString &path : paths) {
        const int before = outcomes.count();
        browser.Navigate(m_server->url(path + key));
        QTRY_COMPARE(outcomes.count(), before + 1);
    }
    browser.Navigate(m_server->url("/slow/" + key));
    QTRY_COMPARE(m_server->requestCount(), 7);
    browser.Stop();
    browser.Navigate(QStringLiteral("garbage ") + key);
    browser.Navigate(
        m_server->url("/ok/" + key).replace(QLatin1String("http"), QLatin1String("ftp")));
    QCOMPARE(outcomes.succeeded.count(), 2);
    QCOMPARE(outcomes.failed.count(), 3);

    const QList<LoggedLine> lines = updateLines();
    QVERIFY(lines.size() >= 12);
    const QString origin = m_server->url(QString());
    int naming = 0;
    for (const LoggedLine &line : lines) {
        QVERIFY2(!line.text.contains(key, Qt::CaseInsensitive), qPrintable(line.text));
        if (line.text.contains(origin))
            ++naming;
    }
    QVERIFY(naming >= 10);
    for (const QList<QVariant> &failure : std::as_const(outcomes.failed))
        QVERIFY(!failure.at(1).toString().contains(key, Qt::CaseInsensitive));
}

void TestNetworkBrowser::proxyFromEnvironment()
{
    // The server stands in for a proxy: the request names the real host on its
    // request line.
    m_server->setDefaultAnswer(LoopbackHttpServer::ok("via proxy"));
    const QByteArray savedProxy = qgetenv("http_proxy");
    const QByteArray savedNoProxy = qgetenv("no_proxy");
    qputenv("http_proxy", m_server->url(QString()).toLatin1());
    qunsetenv("no_proxy");

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(QStringLiteral("http://update.invalid/my key"));
    QTRY_COMPARE(outcomes.count(), 1);

    restoreEnvironment("http_proxy", savedProxy);
    restoreEnvironment("no_proxy", savedNoProxy);
    QCOMPARE(outcomes.succeeded.count(), 1);
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(m_server->requests().at(0).target, QByteArray("http://update.invalid/my%20key"));
}

void TestNetworkBrowser::answerWordsDecideOutcome_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("viaRedirect");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("badauth") << QByteArray("badauth") << false << false;
    QTest::newRow("KO") << QByteArray("KO\n") << false << false;
    QTest::newRow("nohost after a redirect") << QByteArray("nohost") << true << false;
    QTest::newRow("good with address") << QByteArray("good 192.0.2.1") << false << true;
    QTest::newRow("nochg after a redirect") << QByteArray("nochg") << true << true;
    QTest::newRow("empty") << QByteArray() << false << true;
}

void TestNetworkBrowser::answerWordsDecideOutcome()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, viaRedirect);
    QFETCH(bool, succeeds);
    m_server->setAnswer("/start", LoopbackHttpServer::redirect("/k", 301));
    m_server->setAnswer("/k", LoopbackHttpServer::ok(body));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url(viaRedirect ? "/start" : "/k"));
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(outcomes.succeeded.count(), succeeds ? 1 : 0);
    QCOMPARE(outcomes.pages.count(), 1); // the refusal is shown all the same
    if (!succeeds) {
        QCOMPARE(outcomes.failed.at(0).at(0).toInt(), 200);
        QVERIFY(outcomes.failed.at(0).at(1).toString().startsWith("refused by the service"));
    }
}

void TestNetworkBrowser::outcomeLogLine_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // after "request to <origin> "
    QTest::newRow("good") << "/k1" << 200 << QByteArray("good 192.0.2.1")
                          << "succeeded: HTTP 200, answer \"good\"";
    QTest::newRow("badauth") << "/k1" << 200 << QByteArray("badauth")
                             << "failed: HTTP 200, answer \"badauth\"";
    QTest::newRow("404") << "/k1" << 404 << QByteArray("Not Found")
                         << "failed: HTTP 404, answer \"Not\"";
    QTest::newRow("empty") << "/k1" << 200 << QByteArray() << "succeeded: HTTP 200, empty answer";
    QTest::newRow("html") << "/k1" << 200 << QByteArray("<html><body>x")
                          << "succeeded: HTTP 200, answer not shown";
    // A service that echoes the key must not put it in the log.
    QTest::newRow("answer is the key") << "/nic?pw=Geheim42" << 200 << QByteArray("Geheim42 nochg")
                                       << "succeeded: HTTP 200, answer not shown";
    QTest::newRow("answer holds the key")
        << "/nic?pw=Geheim42" << 200 << QByteArray("ERROR:Geheim42")
        << "failed: HTTP 200, answer \"ERROR\"";
}

// Exactly one line per outcome, with status and first word, never the key.
void TestNetworkBrowser::outcomeLogLine()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    m_server->setDefaultAnswer(withStatus(status, body));

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url(path));
    QTRY_COMPARE(outcomes.count(), 1);

    const QList<LoggedLine> lines = updateLines();
    QCOMPARE(lines.size(), 2); // the request, then its outcome
    QCOMPARE(lines.at(1).text, "request to " + m_server->url(QString()) + " " + expected);
    for (const LoggedLine &line : lines)
        QVERIFY2(!line.text.contains("Geheim42", Qt::CaseInsensitive), qPrintable(line.text));
}

void TestNetworkBrowser::compressedAnswers_data()
{
    QTest::addColumn<QByteArray>("coding");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("failure"); // empty: the text arrives unpacked

    const QByteArray text = "good 192.0.2.1 " + QByteArray(5000, 'x');
    QTest::newRow("gzip") << QByteArray("gzip") << packed(text, 31) << QString();
    QTest::newRow("x-gzip") << QByteArray("x-gzip") << packed(text, 31) << QString();
    QTest::newRow("deflate, zlib-wrapped")
        << QByteArray("deflate") << packed(text, 15) << QString();
    QTest::newRow("deflate, raw") << QByteArray("deflate") << packed(text, -15) << QString();
    QTest::newRow("gzip cut short")
        << QByteArray("gzip") << packed(text, 31).left(20) << "compressed answer damaged";
    QTest::newRow("unknown coding")
        << QByteArray("br") << text << "compressed answer in an unsupported coding";
}

void TestNetworkBrowser::compressedAnswers()
{
    QFETCH(QByteArray, coding);
    QFETCH(QByteArray, body);
    QFETCH(QString, failure);
    QVERIFY(!body.isEmpty());

    LoopbackHttpServer::Answer answer = LoopbackHttpServer::ok(body);
    answer.headers.append({QByteArray("Content-Encoding"), coding});
    m_server->setDefaultAnswer(answer);

    NetworkBrowser browser;
    Outcomes outcomes(browser);
    browser.Navigate(m_server->url("/k"));
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(m_server->requests().at(0).header("Accept-Encoding"), QByteArray("gzip, deflate"));
    if (failure.isEmpty()) {
        QCOMPARE(outcomes.succeeded.count(), 1);
        QCOMPARE(outcomes.pages.count(), 1);
        QVERIFY(
            outcomes.pages.at(0).at(0).toString().startsWith(QLatin1String("good 192.0.2.1 xx")));
        QCOMPARE(outcomes.pages.at(0).at(0).toString().size(), 5015);
    } else {
        QCOMPARE(outcomes.failed.count(), 1);
        QCOMPARE(outcomes.failed.at(0).at(1).toString(), failure);
        QCOMPARE(outcomes.pages.count(), 0);
    }
}

void TestNetworkBrowser::httpsFetch_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QByteArray>("answer"); // %1 stands for the plain server's URL
    QTest::addColumn<QString>("failure");   // empty for success

    const QByteArray good = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ngood";
    QTest::newRow("trusted") << true << good << QString();
    QTest::newRow("untrusted certificate") << false << good << "secure connection failed";
    QTest::newRow("redirect to http")
        << true << QByteArray("HTTP/1.1 302 Found\r\nLocation: %1\r\nContent-Length: 0\r\n\r\n")
        << "redirect to a less secure URL refused";
}

void TestNetworkBrowser::httpsFetch()
{
    QFETCH(bool, trusted);
    QFETCH(QByteArray, answer);
    QFETCH(QString, failure);

    TlsServer tls;
    tls.answer = answer.replace("%1", m_server->url("/plain").toLatin1());
    QVERIFY(tls.listen(m_certificate, m_key));

    NetworkBrowser browser;
    if (trusted)
        browser.setCaCertificates({m_certificate});
    Outcomes outcomes(browser);
    browser.Navigate(tls.url("/k"));
    QTRY_COMPARE(outcomes.count(), 1);
    QVERIFY(!browser.Busy());
    QCOMPARE(m_server->requestCount(), 0); // never sent in the clear
    if (failure.isEmpty()) {
        QCOMPARE(outcomes.succeeded.count(), 1);
        QCOMPARE(tls.requests, QList<QByteArray>({"GET /k HTTP/1.1"}));
    } else {
        QCOMPARE(outcomes.failed.count(), 1);
        QCOMPARE(outcomes.failed.at(0).at(1).toString(), failure);
    }
}

QTEST_GUILESS_MAIN(TestNetworkBrowser)
#include "tst_networkbrowser.moc"
