#include "update/UpdateUrl.h"

#include <QTest>

class TestUpdateUrl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void composeKeepsKeyAsTyped_data();
    void composeKeepsKeyAsTyped();
    void baseUrlIsTheCompiledIn();
    void requestUrlEncodesOnlyWhatMustBe_data();
    void requestUrlEncodesOnlyWhatMustBe();
    void requestUrlRefusesNonHttpText_data();
    void requestUrlRefusesNonHttpText();
    void redactedKeepsSchemeHostPortOnly_data();
    void redactedKeepsSchemeHostPortOnly();
};

void TestUpdateUrl::composeKeepsKeyAsTyped_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "http://h/"
                           << "abc123"
                           << "http://h/abc123";
    QTest::newRow("spaces kept") << "http://h/"
                                 << " a b "
                                 << "http://h/ a b ";
    QTest::newRow("escapes not decoded") << "http://h/u?k="
                                         << "a%20b"
                                         << "http://h/u?k=a%20b";
    QTest::newRow("control characters kept") << "http://h/"
                                             << "k\r\nX: 1"
                                             << "http://h/k\r\nX: 1";
    QTest::newRow("empty key") << "http://h/"
                               << ""
                               << "http://h/";
    QTest::newRow("non-ASCII") << "http://h/" << QStringLiteral("schl\u00FCssel")
                               << QStringLiteral("http://h/schl\u00FCssel");
}

void TestUpdateUrl::composeKeepsKeyAsTyped()
{
    QFETCH(QString, base);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(UpdateUrl::compose(base, key), expected);
}

void TestUpdateUrl::baseUrlIsTheCompiledIn()
{
    QCOMPARE(UpdateUrl::baseUrl(), QString::fromUtf8(TAVRIN_UPDATE_BASE_URL));
    QVERIFY(UpdateUrl::toRequestUrl(UpdateUrl::baseUrl()).isValid());
}

void TestUpdateUrl::requestUrlEncodesOnlyWhatMustBe_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("onTheWire"); // path and query as encoded

    QTest::newRow("plain") << "abc123" << QByteArray("/abc123");
    QTest::newRow("space") << "a b" << QByteArray("/a%20b");
    QTest::newRow("trailing space") << "key " << QByteArray("/key%20");
    QTest::newRow("slashes") << "dir/sub/key" << QByteArray("/dir/sub/key");
    QTest::newRow("query") << "u?host=x&pw=y" << QByteArray("/u?host=x&pw=y");
    QTest::newRow("CR LF") << "k\r\nX-Injected: 1" << QByteArray("/k%0D%0AX-Injected:%201");
    QTest::newRow("NUL") << QString::fromLatin1("a\0b", 3) << QByteArray("/a%00b");
    QTest::newRow("tab and DEL") << "a\tb\x7f" << QByteArray("/a%09b%7F");
    QTest::newRow("non-ASCII as UTF-8") << QStringLiteral("\u00E4") << QByteArray("/%C3%A4");
    QTest::newRow("valid escape kept") << "a%20b" << QByteArray("/a%20b");
    QTest::newRow("stray percent") << "50%off" << QByteArray("/50%25off");
    QTest::newRow("characters a URL cannot hold")
        << "\"<>\\^`{|}" << QByteArray("/%22%3C%3E%5C%5E%60%7B%7C%7D");
    QTest::newRow("sub-delimiters kept") << "!$&'()*+,;=:@" << QByteArray("/!$&'()*+,;=:@");
    QTest::newRow("fragment not sent") << "key#part" << QByteArray("/key");
}

void TestUpdateUrl::requestUrlEncodesOnlyWhatMustBe()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, onTheWire);

    const QString stored = UpdateUrl::compose(QStringLiteral("http://dyn.example.org/"), key);
    const QUrl url = UpdateUrl::toRequestUrl(stored);
    QVERIFY(url.isValid());
    QCOMPARE(url.host(), QStringLiteral("dyn.example.org"));
    QCOMPARE(url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment),
             onTheWire);
}

void TestUpdateUrl::requestUrlRefusesNonHttpText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("http") << "http://h/k" << true;
    QTest::newRow("https with port") << "https://h:8443/k" << true;
    QTest::newRow("upper-case scheme") << "HTTP://h/k" << true;
    QTest::newRow("IPv6 host") << "http://[::1]:8080/k" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("no scheme") << "dyn.example.org/k" << false;
    QTest::newRow("scheme-relative") << "//h/k" << false;
    QTest::newRow("no host") << "http:///k" << false;
    QTest::newRow("scheme only") << "http://" << false;
    QTest::newRow("ftp") << "ftp://h/k" << false;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("mailto") << "mailto:a@h" << false;
    QTest::newRow("prose") << "not a url" << false;
    QTest::newRow("space in host") << "http://h st/k" << false;
    QTest::newRow("CR LF in host") << "http://h\r\nX: 1/k" << false;
    QTest::newRow("leading space") << " http://h/k" << false;
}

void TestUpdateUrl::requestUrlRefusesNonHttpText()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(UpdateUrl::toRequestUrl(text).isValid(), accepted);
}

void TestUpdateUrl::redactedKeepsSchemeHostPortOnly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("path") << "http://dyn.example.org/secret"
                          << "http://dyn.example.org";
    QTest::newRow("port") << "https://h:8443/secret"
                          << "https://h:8443";
    QTest::newRow("query and fragment") << "http://h/u?pw=secret#secret"
                                        << "http://h";
    QTest::newRow("user info") << "http://secret:secret@h/secret"
                               << "http://h";
    QTest::newRow("IPv6") << "http://[::1]:81/secret"
                          << "http://[::1]:81";
    QTest::newRow("encoded key") << "http://h/a secret\r\n"
                                 << "http://h";
    QTest::newRow("not a URL") << "secret/secret"
                               << "(no valid URL)";
}

void TestUpdateUrl::redactedKeepsSchemeHostPortOnly()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(UpdateUrl::redacted(UpdateUrl::toRequestUrl(text)), expected);
}

QTEST_GUILESS_MAIN(TestUpdateUrl)
#include "tst_updateurl.moc"
