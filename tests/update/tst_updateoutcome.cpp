#include "update/UpdateOutcome.h"

#include <QTest>

class TestUpdateOutcome : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void classify_data();
    void classify();
    void firstWord_data();
    void firstWord();
    void wordInLog_data();
    void wordInLog();
    void failureReasonQuotesOnlySafeWords();
};

void TestUpdateOutcome::classify_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("good with address") << 200 << QByteArray("good 1.2.3.4") << true;
    QTest::newRow("nochg") << 200 << QByteArray("nochg 1.2.3.4\n") << true;
    QTest::newRow("OK") << 200 << QByteArray("OK") << true;
    QTest::newRow("empty") << 200 << QByteArray() << true;
    QTest::newRow("blank") << 200 << QByteArray(" \r\n") << true;
    QTest::newRow("html page") << 200 << QByteArray("<html><body>badauth</body></html>") << true;
    QTest::newRow("unknown text") << 200 << QByteArray("updated") << true;
    QTest::newRow("refusal word later in the body") << 200 << QByteArray("good abuse") << true;
    QTest::newRow("longer word starting like a refusal") << 200 << QByteArray("kookaburra") << true;
    QTest::newRow("redirect status, ok body") << 301 << QByteArray("good") << true;
    QTest::newRow("interim 103, ok body") << 103 << QByteArray("good") << false;
    QTest::newRow("interim 101, empty") << 101 << QByteArray() << false;
    QTest::newRow("below any status class") << 42 << QByteArray("good") << false;
    QTest::newRow("badauth") << 200 << QByteArray("badauth") << false;
    QTest::newRow("BADAUTH") << 200 << QByteArray("BADAUTH") << false;
    QTest::newRow("!donator") << 200 << QByteArray("!donator") << false;
    QTest::newRow("notfqdn") << 200 << QByteArray("notfqdn") << false;
    QTest::newRow("nohost with newline") << 200 << QByteArray("nohost\n") << false;
    QTest::newRow("numhost") << 200 << QByteArray("numhost") << false;
    QTest::newRow("abuse") << 200 << QByteArray("abuse") << false;
    QTest::newRow("badagent") << 200 << QByteArray("badagent") << false;
    QTest::newRow("dnserr") << 200 << QByteArray("dnserr") << false;
    QTest::newRow("911") << 200 << QByteArray("911") << false;
    QTest::newRow("KO") << 200 << QByteArray("KO") << false;
    QTest::newRow("ko") << 200 << QByteArray("ko") << false;
    QTest::newRow("ERROR with colon") << 200 << QByteArray("ERROR: wrong password") << false;
    QTest::newRow("error after blanks and BOM")
        << 200 << QByteArray("\xEF\xBB\xBF \terror") << false;
    QTest::newRow("refusal with another 2xx") << 201 << QByteArray("badauth") << false;
    QTest::newRow("404 with good body") << 404 << QByteArray("good") << false;
    QTest::newRow("500 empty") << 500 << QByteArray() << false;
    QTest::newRow("400") << 400 << QByteArray("Bad Request") << false;
}

void TestUpdateOutcome::classify()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, succeeds);
    const UpdateOutcome outcome = UpdateOutcome::classify(status, body);
    QCOMPARE(outcome.succeeded(), succeeds);
    QCOMPARE(outcome.httpStatus(), status);
    QCOMPARE(outcome.refused(), !succeeds && status >= 200 && status < 400);
    QCOMPARE(outcome.interim(), status >= 100 && status < 200);
}

void TestUpdateOutcome::firstWord_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("word");
    QTest::newRow("one word") << QByteArray("good") << QByteArray("good");
    QTest::newRow("word and address") << QByteArray("good 192.0.2.1") << QByteArray("good");
    QTest::newRow("leading blank lines") << QByteArray("\r\n\r\n nochg") << QByteArray("nochg");
    QTest::newRow("tab after") << QByteArray("KO\tmore") << QByteArray("KO");
    QTest::newRow("comma") << QByteArray("error,1") << QByteArray("error");
    QTest::newRow("semicolon") << QByteArray("abuse;x") << QByteArray("abuse");
    QTest::newRow("html tag") << QByteArray("<html><b>x") << QByteArray("<html><b>x");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("blanks only") << QByteArray("  \n") << QByteArray();
}

void TestUpdateOutcome::firstWord()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, word);
    QCOMPARE(UpdateOutcome::firstWord(body), word);
}

void TestUpdateOutcome::wordInLog_data()
{
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("loggable");
    const QString url = QStringLiteral("http://dyn.example.org/nic/update?pw=Secr3tKey");

    QTest::newRow("plain word") << QByteArray("badauth") << url << true;
    QTest::newRow("allowed punctuation") << QByteArray("!donator-x_1.2") << url << true;
    QTest::newRow("colon allowed") << QByteArray("a:b") << url << true;
    QTest::newRow("24 characters") << QByteArray(24, 'a') << url << true;
    QTest::newRow("25 characters") << QByteArray(25, 'a') << url << false;
    QTest::newRow("html") << QByteArray("<html>") << url << false;
    QTest::newRow("non-ASCII") << QByteArray("gr\xC3\xBC\xC3\x9F") << url << false;
    QTest::newRow("quote") << QByteArray("a\"b") << url << false;
    QTest::newRow("empty") << QByteArray() << url << false;
    QTest::newRow("the key") << QByteArray("Secr3tKey") << url << false;
    QTest::newRow("the key in other case") << QByteArray("SECR3TKEY") << url << false;
    QTest::newRow("part of the key") << QByteArray("cr3t") << url << false;
    QTest::newRow("in the path") << QByteArray("update") << url << false;
    QTest::newRow("key inside the word") << QByteArray("bad:Secr3tKey") << url << false;
    QTest::newRow("key typed with a space, word matches decoded")
        << QByteArray("my") << QStringLiteral("http://h.example/my%20key") << false;
    QTest::newRow("host name is no secret")
        << QByteArray("dyn.example.org") << QStringLiteral("http://dyn.example.org/k") << true;
}

void TestUpdateOutcome::wordInLog()
{
    QFETCH(QByteArray, word);
    QFETCH(QString, url);
    QFETCH(bool, loggable);
    QCOMPARE(UpdateOutcome::mayLogWord(word, {QUrl(url)}), loggable);

    // The same word at the start of an answer; ':' would end it there.
    if (word.isEmpty() || word.contains(':'))
        return;
    const QString line = UpdateOutcome::classify(200, word + " rest").describe({QUrl(url)});
    QVERIFY(line.startsWith(QStringLiteral("HTTP 200, ")));
    QCOMPARE(line.contains(QString::fromUtf8(word)), loggable);
}

void TestUpdateOutcome::failureReasonQuotesOnlySafeWords()
{
    const QList<QUrl> urls = {QUrl(QStringLiteral("http://h.example/k1")),
                              QUrl(QStringLiteral("http://h.example/badauth-key"))};
    QCOMPARE(UpdateOutcome::classify(200, "nohost").failureReason(urls),
             QStringLiteral("refused by the service (\"nohost\")"));
    // The second URL (after a redirect) counts as much as the first.
    QCOMPARE(UpdateOutcome::classify(200, "badauth").failureReason(urls),
             QStringLiteral("refused by the service"));
    QCOMPARE(UpdateOutcome::classify(503, "nohost").failureReason(urls),
             QStringLiteral("HTTP 503"));
}

QTEST_GUILESS_MAIN(TestUpdateOutcome)
#include "tst_updateoutcome.moc"
