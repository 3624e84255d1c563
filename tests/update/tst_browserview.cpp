#include "update/BrowserView.h"

#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

class TestBrowserView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsEmptyWithInheritedLook();
    void showsHtmlAsRichTextAndTheRestAsPlain_data();
    void showsHtmlAsRichTextAndTheRestAsPlain();
    void loadsNoLocalFile();
    void activatedLinkIsNotFollowed();
};

void TestBrowserView::startsEmptyWithInheritedLook()
{
    BrowserView view;
    QTextBrowser plain;
    QVERIFY(view.toPlainText().isEmpty());
    QCOMPARE(view.font(), plain.font());
    QCOMPARE(view.palette(), plain.palette());
}

void TestBrowserView::showsHtmlAsRichTextAndTheRestAsPlain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isHtml");
    QTest::addColumn<QString>("shown");

    QTest::newRow("html") << "<html><body><p>Hallo <b>Welt</b></p></body></html>" << true
                          << "Hallo Welt";
    QTest::newRow("markup in plain text")
        << "good <b>192.0.2.1</b>" << false << "good <b>192.0.2.1</b>";
    QTest::newRow("plain text keeps lines") << "line 1\nline 2" << false << "line 1\nline 2";
}

void TestBrowserView::showsHtmlAsRichTextAndTheRestAsPlain()
{
    QFETCH(QString, text);
    QFETCH(bool, isHtml);
    QFETCH(QString, shown);

    BrowserView view;
    view.showPage(QStringLiteral("<p>earlier page</p>"), true);
    view.showPage(text, isHtml);
    QCOMPARE(view.toPlainText(), shown);
}

void TestBrowserView::loadsNoLocalFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString imagePath = dir.filePath(QStringLiteral("picture.png"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(imagePath));
    const QString cssPath = dir.filePath(QStringLiteral("style.css"));
    QFile css(cssPath);
    QVERIFY(css.open(QIODevice::WriteOnly));
    css.write("p { color: red; }");
    css.close();

    const QUrl imageUrl = QUrl::fromLocalFile(imagePath);
    const QUrl cssUrl = QUrl::fromLocalFile(cssPath);
    BrowserView view;
    view.setSearchPaths({dir.path()});
    view.showPage(QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"%1\"></head>"
                                 "<body><img src=\"%2\"><img src=\"picture.png\"></body></html>")
                      .arg(cssUrl.toString(), imageUrl.toString()),
                  true);
    view.resize(200, 200);
    view.show();
    QCoreApplication::processEvents();

    // Whatever the document holds for each reference must be empty, not the file.
    const auto isEmptyResource = [](const QVariant &resource) {
        return resource.toByteArray().isEmpty() && resource.value<QImage>().isNull() &&
               resource.toString().isEmpty();
    };
    for (const QUrl &url : {imageUrl, QUrl(QStringLiteral("picture.png"))})
        QVERIFY(isEmptyResource(view.document()->resource(QTextDocument::ImageResource, url)));
    QVERIFY(isEmptyResource(view.document()->resource(QTextDocument::StyleSheetResource, cssUrl)));
    QVERIFY(isEmptyResource(view.loadResource(QTextDocument::ImageResource, imageUrl)));
}

void TestBrowserView::activatedLinkIsNotFollowed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString otherPath = dir.filePath(QStringLiteral("other.html"));
    QFile other(otherPath);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("<p>other page</p>");
    other.close();

    BrowserView view;
    QSignalSpy clicked(&view, &QTextBrowser::anchorClicked);
    view.showPage(QStringLiteral("<p><a href=\"%1\">weiter</a></p>")
                      .arg(QUrl::fromLocalFile(otherPath).toString()),
                  true);
    view.show();
    view.setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    // Keyboard navigation selects the link; Return activates it.
    QTest::keyClick(&view, Qt::Key_Tab);
    QTest::keyClick(&view, Qt::Key_Return);

    QCOMPARE(clicked.count(), 1);
    QCOMPARE(view.toPlainText(), QStringLiteral("weiter"));
    QVERIFY(view.source().isEmpty());
}

QTEST_MAIN(TestBrowserView)
#include "tst_browserview.moc"
