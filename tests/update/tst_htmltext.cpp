#include "update/HtmlText.h"

#include <QTest>

#include <string>

namespace {

QString readable(const QByteArray &html, std::size_t maxChars = 1000)
{
    const std::string text = HtmlText::readableText(
        std::string_view(html.constData(), std::size_t(html.size())), maxChars);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QByteArray repeated(const QByteArray &piece, int times)
{
    return piece.repeated(times);
}

// True when bytes is well-formed UTF-8: every sequence complete.
bool isWholeUtf8(const std::string &bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

class TestHtmlText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readableText_data();
    void readableText();
    void deepNestingEndsInText_data();
    void deepNestingEndsInText();
    void capKeepsCodePointsWhole_data();
    void capKeepsCodePointsWhole();
    void worstCaseMegabyte_data();
    void worstCaseMegabyte();
};

void TestHtmlText::readableText_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("text");

    QTest::newRow("tags dropped") << QByteArray(
                                         "<html><body><b>good</b> <i>1.2.3.4</i></body></html>")
                                  << "good 1.2.3.4";
    QTest::newRow("attributes with quoted >")
        << QByteArray("<a href=\"x>y\" title='a>b'>link</a> text") << "link text";
    QTest::newRow("blocks break lines")
        << QByteArray("<h1>Status</h1><p>good</p><div>nochg</div>") << "Status\ngood\nnochg";
    QTest::newRow("br twice keeps an empty line") << QByteArray("a<br><br>b") << "a\n\nb";
    QTest::newRow("table cells and rows")
        << QByteArray("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>")
        << "a b\nc";
    QTest::newRow("whitespace folded") << QByteArray("  good \r\n\t  news \n\n  ") << "good news";
    QTest::newRow("comment dropped") << QByteArray("a<!-- <p>hidden</p> -->b") << "ab";
    QTest::newRow("unterminated comment drops the rest") << QByteArray("a<!-- b <p>c") << "a";
    QTest::newRow("CDATA is text") << QByteArray("<![CDATA[x <y> & z]]>!") << "x <y> & z!";
    QTest::newRow("script and style dropped")
        << QByteArray("<script>if (a</b) document.write('<p>x</p>')</script>ok"
                      "<STYLE>p { color: red }</Style>!")
        << "ok!";
    QTest::newRow("title dropped") << QByteArray("<head><title>Hi</title></head>body") << "body";
    QTest::newRow("unclosed script drops the rest") << QByteArray("a<script>b") << "a";
    QTest::newRow("script end needs a name boundary")
        << QByteArray("<script>x</scripty>y</script>z") << "z";
    QTest::newRow("doctype and processing instruction")
        << QByteArray("<!DOCTYPE html><?xml version=\"1.0\"?>t") << "t";
    QTest::newRow("unclosed tag drops the rest") << QByteArray("good<p class=\"x") << "good";
    QTest::newRow("< in text") << QByteArray("a < b, 3<4, <> <=") << "a < b, 3<4, <> <=";
    QTest::newRow("named entities")
        << QByteArray("&lt;b&gt; &amp; &quot;&apos; Gr&uuml;&szlig;e &euro;&nbsp;1")
        << QStringLiteral("<b> & \"' Gr\u00FC\u00DFe \u20AC\u00A01");
    QTest::newRow("entities decoded once") << QByteArray("&amp;lt;") << "&lt;";
    QTest::newRow("numeric entities")
        << QByteArray("&#65;&#x42;&#X43;&#68 &#x1F600;") << QStringLiteral("ABCD \U0001F600");
    QTest::newRow("invalid numeric entities")
        << QByteArray("&#0;|&#xD800;|&#x110000;|&#99999999999999999999999;")
        << QStringLiteral("\uFFFD|\uFFFD|\uFFFD|\uFFFD");
    QTest::newRow("unknown and unterminated entities kept")
        << QByteArray("&bogus; &amp &#; &#x; & a&") << "&bogus; &amp &#; &#x; & a&";
    QTest::newRow("over-long entity name kept")
        << QByteArray("&abcdefghijklmnop;") << "&abcdefghijklmnop;";
    QTest::newRow("soft hyphen dropped") << QByteArray("ab&shy;cd") << "abcd";
    QTest::newRow("UTF-8 passes through") << QByteArray("<p>gr\xC3\xBC\xC3\x9F \xE2\x82\xAC</p>")
                                          << QStringLiteral("gr\u00FC\u00DF \u20AC");
    QTest::newRow("empty") << QByteArray() << "";
}

void TestHtmlText::readableText()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, text);
    QCOMPARE(readable(html), text);
}

void TestHtmlText::deepNestingEndsInText_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("text");

    QTest::newRow("20 nested tables")
        << repeated("<table><tr><td>", 20) + "x" + repeated("</td></tr></table>", 20) << "x";
    QTest::newRow("100,000 nested tables")
        << repeated("<table><tr><td>", 100000) + "deep" + repeated("</td></tr></table>", 100000)
        << "deep";
    QTest::newRow("100,000 unclosed divs") << repeated("<div>", 100000) + "end"
                                           << "end";
    QTest::newRow("100,000 unclosed comments") << QByteArray("t") + repeated("<!--", 100000) << "t";
}

void TestHtmlText::deepNestingEndsInText()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, text);
    QCOMPARE(readable(html), text);
}

void TestHtmlText::capKeepsCodePointsWhole_data()
{
    QTest::addColumn<QByteArray>("piece"); // one code point of text
    QTest::addColumn<int>("bytesPerChar");

    QTest::newRow("ASCII") << QByteArray("a") << 1;
    QTest::newRow("two bytes") << QByteArray("\xC3\xBC") << 2;
    QTest::newRow("three bytes") << QByteArray("\xE2\x82\xAC") << 3;
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << 4;
    QTest::newRow("from a reference") << QByteArray("&#x1F600;") << 4;
}

void TestHtmlText::capKeepsCodePointsWhole()
{
    QFETCH(QByteArray, piece);
    QFETCH(int, bytesPerChar);

    constexpr std::size_t Cap = 7;
    const QByteArray html = "<p>" + piece.repeated(20) + "</p>";
    const std::string text =
        HtmlText::readableText(std::string_view(html.constData(), std::size_t(html.size())), Cap);
    QCOMPARE(text.size(), Cap * std::size_t(bytesPerChar));
    QVERIFY(isWholeUtf8(text));
}

void TestHtmlText::worstCaseMegabyte_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("text");

    constexpr int Megabyte = 1024 * 1024;
    // Each of these makes a naive parser search ahead from every position.
    QTest::newRow("unclosed tags") << repeated("<a ", Megabyte / 3) << "";
    QTest::newRow("unclosed quotes") << "<p x=\"" + QByteArray(Megabyte, '>') << "";
    QTest::newRow("script with many false ends")
        << "<script>" + repeated("</scrip", Megabyte / 7) << "";
    QTest::newRow("references without end")
        << repeated("&#", Megabyte / 2) << QString::fromLatin1(repeated("&#", Megabyte / 2));
    QTest::newRow("brackets") << QByteArray(Megabyte, '<') << QString(Megabyte, QLatin1Char('<'));
    QTest::newRow("nested tables") << repeated("<table><tr><td>", Megabyte / 15) + "x"
                                   << "x";
}

void TestHtmlText::worstCaseMegabyte()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, text);
    QCOMPARE(readable(html, 2 * 1024 * 1024), text);
}

QTEST_APPLESS_MAIN(TestHtmlText)
#include "tst_htmltext.moc"
