#include "qt/update/BrowserView.h"

#include <QImage>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

class TestBrowserView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsEmptyReadOnlyWithInheritedLook();
    void showsReadableText_data();
    void showsReadableText();
    void deepHtmlIsShownAtOnce();
    void nothingReferencedIsLoaded();
    void longTextIsCut();
};

void TestBrowserView::startsEmptyReadOnlyWithInheritedLook()
{
    BrowserView view;
    QPlainTextEdit plain;
    QVERIFY(view.toPlainText().isEmpty());
    QVERIFY(view.isReadOnly());
    QCOMPARE(view.font(), plain.font());
    QCOMPARE(view.palette(), plain.palette());
}

void TestBrowserView::showsReadableText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isHtml");
    QTest::addColumn<QString>("shown");

    QTest::newRow("html") << "<html><body><p>Hallo <b>Welt</b></p></body></html>" << true
                          << "Hallo Welt";
    QTest::newRow("html with non-Latin text")
        << QStringLiteral("<p>Gr\u00FC\u00DFe &amp; \U0001F600</p>") << true
        << QStringLiteral("Gr\u00FC\u00DFe & \U0001F600");
    QTest::newRow("markup in plain text")
        << "good <b>192.0.2.1</b>" << false << "good <b>192.0.2.1</b>";
    QTest::newRow("plain text keeps lines") << "line 1\nline 2" << false << "line 1\nline 2";
}

void TestBrowserView::showsReadableText()
{
    QFETCH(QString, text);
    QFETCH(bool, isHtml);
    QFETCH(QString, shown);

    BrowserView view;
    view.showPage(QStringLiteral("<p>earlier page</p>"), true);
    view.showPage(text, isHtml);
    QCOMPARE(view.toPlainText(), shown);
}

void TestBrowserView::deepHtmlIsShownAtOnce()
{
    // Laid out as rich text, this nesting overflows the stack.
    const QString html = QStringLiteral("<table><tr><td>").repeated(4000) + QStringLiteral("ok") +
                         QStringLiteral("</td></tr></table>").repeated(4000);
    BrowserView view;
    view.resize(300, 100);
    view.show();
    view.showPage(html, true);
    QCoreApplication::processEvents();
    QCOMPARE(view.toPlainText(), QStringLiteral("ok"));
}

void TestBrowserView::nothingReferencedIsLoaded()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString imagePath = dir.filePath(QStringLiteral("picture.png"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(imagePath));
    const QString imageUrl = QUrl::fromLocalFile(imagePath).toString();

    // Markup, as HTML or as plain text, leaves nothing but characters in the
    // document: no image to load, no link to follow.
    for (bool isHtml : {true, false}) {
        BrowserView view;
        view.showPage(QStringLiteral("<p><img src=\"%1\"><a href=\"%1\">weiter</a></p>"
                                     "<link rel=\"stylesheet\" href=\"%1\">")
                          .arg(imageUrl),
                      isHtml);
        view.resize(200, 200);
        view.show();
        QCoreApplication::processEvents();
        if (isHtml)
            QCOMPARE(view.toPlainText(), QStringLiteral("weiter"));
        for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                QVERIFY(!format.isAnchor());
                QVERIFY(!format.isImageFormat());
            }
        }
    }
}

void TestBrowserView::longTextIsCut()
{
    BrowserView view;
    view.showPage(QString(BrowserView::MaxShownChars + 100, QLatin1Char('x')), false);
    QCOMPARE(view.toPlainText().size(), BrowserView::MaxShownChars);
    // A surrogate pair is never split.
    view.showPage(QString(BrowserView::MaxShownChars - 1, QLatin1Char('x')) +
                      QStringLiteral("\U0001F600"),
                  false);
    QCOMPARE(view.toPlainText().size(), BrowserView::MaxShownChars - 1);
}

QTEST_MAIN(TestBrowserView)
#include "tst_browserview.moc"
