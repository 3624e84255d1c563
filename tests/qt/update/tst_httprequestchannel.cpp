#include "ChannelOutcomes.h"
#include "LoopbackHttpServer.h"
#include "qt/CoreTypes.h"
#include "qt/update/HttpRequestChannel.h"
#include "update/HttpAnswer.h"
#include "update/UpdateUrl.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Outcomes = ChannelOutcomes;

void restoreEnvironment(const char *name, const QByteArray &saved)
{
    if (saved.isNull())
        qunsetenv(name);
    else
        qputenv(name, saved);
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

} // namespace

class TestHttpRequestChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void keyReachesServerEncoded_data();
    void keyReachesServerEncoded();
    void busyUntilOutcome();
    void stopAbandonsFetch();
    void newNavigateAbandonsPrevious();
    void navigateFromOutcomeSlotStartsNewFetch();
    void deletingBusyBrowserHangsUpSilently();
    void redirectsFollowed_data();
    void redirectsFollowed();
    void transportFailures_data();
    void transportFailures();
    void answerSizeLimit_data();
    void answerSizeLimit();
    void proxyFromEnvironment_data();
    void proxyFromEnvironment();
    void httpsFetch_data();
    void httpsFetch();

private:
    QTemporaryDir m_certificateDir;
    QSslCertificate m_certificate;
    QSslKey m_key;
    LoopbackHttpServer *m_server = nullptr;
    std::unique_ptr<LoopbackHttpServer> m_serverOwner;
};

void TestHttpRequestChannel::initTestCase()
{

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

void TestHttpRequestChannel::init()
{
    m_serverOwner = std::make_unique<LoopbackHttpServer>();
    m_server = m_serverOwner.get();
    QVERIFY(m_server->listen());
}

void TestHttpRequestChannel::keyReachesServerEncoded_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("plain") << "abc123" << QByteArray("/abc123");
    QTest::newRow("header injection")
        << "k\r\nX-Injected: 1" << QByteArray("/k%0D%0AX-Injected:%201");
}

void TestHttpRequestChannel::keyReachesServerEncoded()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, target);

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    browser.navigate(UpdateUrl::compose(m_server->url().toStdString(), key.toStdString()));
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

void TestHttpRequestChannel::busyUntilOutcome()
{
    LoopbackHttpServer::Answer slow = LoopbackHttpServer::ok("good");
    slow.delayMs = 300;
    m_server->setDefaultAnswer(slow);

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    QList<bool> busyAtSignal;
    outcomes.then = [&] { busyAtSignal.append(browser.busy()); };

    QVERIFY(!browser.busy());
    browser.navigate(toStd(m_server->url("/k")));
    QVERIFY(browser.busy());
    QTRY_COMPARE(m_server->requestCount(), 1);
    QVERIFY(browser.busy());
    QCOMPARE(outcomes.count(), 0);

    QTRY_COMPARE(outcomes.succeeded.count(), 1);
    QVERIFY(!browser.busy());
    QCOMPARE(busyAtSignal, QList<bool>({false}));
}

void TestHttpRequestChannel::stopAbandonsFetch()
{
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setDefaultAnswer(silent);

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    browser.navigate(toStd(m_server->url("/k")));
    QTRY_COMPARE(m_server->requestCount(), 1);

    browser.stop();
    QVERIFY(!browser.busy());
    QTRY_COMPARE(m_server->hangUps(), 1);
    browser.stop(); // nothing left to stop
    QCoreApplication::processEvents();
    QCOMPARE(outcomes.count(), 0);
    QCOMPARE(outcomes.pages.count(), 0);
}

void TestHttpRequestChannel::newNavigateAbandonsPrevious()
{
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setAnswer("/first", silent);
    m_server->setAnswer("/second", LoopbackHttpServer::ok("second answer"));

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    browser.navigate(toStd(m_server->url("/first")));
    QTRY_COMPARE(m_server->requestCount(), 1);
    browser.navigate(toStd(m_server->url("/second")));
    QVERIFY(browser.busy());

    QTRY_COMPARE(outcomes.succeeded.count(), 1);
    QTRY_COMPARE(m_server->hangUps(), 1);
    QCOMPARE(outcomes.failed.count(), 0);
    QCOMPARE(outcomes.pages.count(), 1);
    QCOMPARE(outcomes.pages.at(0).at(0).toString(), QStringLiteral("second answer"));
}

void TestHttpRequestChannel::navigateFromOutcomeSlotStartsNewFetch()
{
    m_server->setAnswer("/again", LoopbackHttpServer::ok("second"));
    m_server->setDefaultAnswer(LoopbackHttpServer::ok("first"));

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    bool navigated = false;
    outcomes.then = [&] {
        if (!navigated) {
            navigated = true;
            browser.navigate(toStd(m_server->url("/again")));
        }
    };

    browser.navigate(toStd(m_server->url("/k")));
    QTRY_COMPARE(outcomes.succeeded.count(), 2);
    QVERIFY(!browser.busy());
    QCOMPARE(m_server->requestCount(), 2);
    QCOMPARE(outcomes.pages.at(1).at(0).toString(), QStringLiteral("second"));
}

void TestHttpRequestChannel::deletingBusyBrowserHangsUpSilently()
{
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    m_server->setDefaultAnswer(silent);

    auto browser = std::make_unique<HttpRequestChannel>();
    Outcomes outcomes(*browser);
    browser->navigate(toStd(m_server->url("/k")));
    QTRY_COMPARE(m_server->requestCount(), 1);
    browser.reset();
    QTRY_COMPARE(m_server->hangUps(), 1);
    QCOMPARE(outcomes.count(), 0);
}

void TestHttpRequestChannel::redirectsFollowed_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("302") << 302;
    QTest::newRow("307") << 307;
}

void TestHttpRequestChannel::redirectsFollowed()
{
    QFETCH(int, status);
    m_server->setAnswer("/start", LoopbackHttpServer::redirect("/middle", status));
    m_server->setAnswer("/middle",
                        LoopbackHttpServer::redirect(m_server->url("/final").toUtf8(), status));
    m_server->setAnswer("/final", LoopbackHttpServer::ok("arrived"));

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    browser.navigate(toStd(m_server->url("/start")));
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

void TestHttpRequestChannel::transportFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("connection refused") << "refused";
    QTest::newRow("server hangs up") << "hangup";
    QTest::newRow("no answer in time") << "silent";
    QTest::newRow("answer cut short") << "truncated";
}

void TestHttpRequestChannel::transportFailures()
{
    QFETCH(QString, situation);
    HttpRequestChannel browser;
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

    browser.navigate(toStd(url));
    QTRY_COMPARE(outcomes.count(), 1);
    QCOMPARE(outcomes.failed.count(), 1);
    QCOMPARE(outcomes.failed.at(0).at(0).toInt(), 0);
    QVERIFY(!outcomes.failed.at(0).at(1).toString().isEmpty());
    QVERIFY(!browser.busy());
    QCOMPARE(outcomes.pages.count(), 0);
    if (situation == QLatin1String("silent"))
        QTRY_COMPARE(m_server->hangUps(), 1);
}

void TestHttpRequestChannel::answerSizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("declared"); // Content-Length sent
    QTest::addColumn<bool>("accepted");

    const qint64 limit = HttpFetch::MaxAnswerBytes;
    QTest::newRow("at the limit, declared") << limit << true << true;
    QTest::newRow("twice the limit, undeclared") << 2 * limit << false << false;
}

void TestHttpRequestChannel::answerSizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, declared);
    QFETCH(bool, accepted);

    LoopbackHttpServer::Answer big = LoopbackHttpServer::ok(QByteArray(size, 'x'));
    big.omitContentLength = !declared;
    m_server->setDefaultAnswer(big);

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    browser.navigate(toStd(m_server->url("/k")));
    QTRY_COMPARE(outcomes.count(), 1);
    QVERIFY(!browser.busy());
    if (accepted) {
        QCOMPARE(outcomes.succeeded.count(), 1);
        QCOMPARE(outcomes.pages.count(), 1);
        // Only the beginning is offered for display.
        QCOMPARE(outcomes.pages.at(0).at(0).toString(),
                 QString(HttpAnswer::MaxShownChars, QLatin1Char('x')));
    } else {
        QCOMPARE(outcomes.failed.count(), 1);
        QCOMPARE(outcomes.failed.at(0).at(0).toInt(), 0);
        QCOMPARE(outcomes.failed.at(0).at(1).toString(), QStringLiteral("answer too large"));
        QCOMPARE(outcomes.pages.count(), 0);
    }
}

void TestHttpRequestChannel::proxyFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("noProxy");
    QTest::addColumn<bool>("viaProxy");
    QTest::newRow("no no_proxy") << QByteArray() << true;
    QTest::newRow("parent domain exempt") << QByteArray("localhost, invalid") << false;
}

void TestHttpRequestChannel::proxyFromEnvironment()
{
    QFETCH(QByteArray, noProxy);
    QFETCH(bool, viaProxy);
    // The server stands in for a proxy: the request names the real host on its
    // request line.
    m_server->setDefaultAnswer(LoopbackHttpServer::ok("via proxy"));
    const QByteArray savedProxy = qgetenv("http_proxy");
    const QByteArray savedNoProxy = qgetenv("no_proxy");
    qputenv("http_proxy", m_server->url(QString()).toLatin1());
    qputenv("no_proxy", noProxy);

    HttpRequestChannel browser;
    Outcomes outcomes(browser);
    browser.navigate(toStd(QStringLiteral("http://update.invalid/my key")));
    QTRY_COMPARE(outcomes.count(), 1);

    restoreEnvironment("http_proxy", savedProxy);
    restoreEnvironment("no_proxy", savedNoProxy);
    // Exempt, it goes straight to a host that does not exist.
    QCOMPARE(outcomes.succeeded.count(), viaProxy ? 1 : 0);
    QCOMPARE(m_server->requestCount(), viaProxy ? 1 : 0);
    if (viaProxy)
        QCOMPARE(m_server->requests().at(0).target, QByteArray("http://update.invalid/my%20key"));
}

// Exactly one line per outcome, with status and first word, never the key.
void TestHttpRequestChannel::httpsFetch_data()
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

void TestHttpRequestChannel::httpsFetch()
{
    QFETCH(bool, trusted);
    QFETCH(QByteArray, answer);
    QFETCH(QString, failure);

    TlsServer tls;
    tls.answer = answer.replace("%1", m_server->url("/plain").toLatin1());
    QVERIFY(tls.listen(m_certificate, m_key));

    HttpRequestChannel browser;
    if (trusted)
        browser.setCaCertificates({m_certificate});
    Outcomes outcomes(browser);
    browser.navigate(toStd(tls.url("/k")));
    QTRY_COMPARE(outcomes.count(), 1);
    QVERIFY(!browser.busy());
    QCOMPARE(m_server->requestCount(), 0); // never sent in the clear
    if (failure.isEmpty()) {
        QCOMPARE(outcomes.succeeded.count(), 1);
        QCOMPARE(tls.requests, QList<QByteArray>({"GET /k HTTP/1.1"}));
    } else {
        QCOMPARE(outcomes.failed.count(), 1);
        QCOMPARE(outcomes.failed.at(0).at(1).toString(), failure);
    }
}

QTEST_GUILESS_MAIN(TestHttpRequestChannel)
#include "tst_httprequestchannel.moc"
