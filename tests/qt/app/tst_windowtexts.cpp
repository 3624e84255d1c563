#include "qt/app/UpDownControl.h"

#include "ApplicationFont.h"
#include "WiredApplication.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QtTest>

#include <cmath>
#include <optional>

// The window's controls hold their texts whole at the default font and at
// larger ones: the layout grows with the font. Registered once as it is and
// once each at 144 dpi and at twice the scale.
class tst_WindowTexts : public QObject
{
    Q_OBJECT

private:
    using Fixture = WiredApplication;

    // The default font of the run, and larger ones of its family.
    static QList<QPair<QString, std::optional<QFont>>> fonts()
    {
        QFont large = QApplication::font();
        large.setPointSizeF(large.pointSizeF() * 4 / 3);
        QFont huge = QApplication::font();
        huge.setPointSizeF(huge.pointSizeF() * 2.5);
        return {{"default font", std::nullopt},
                {"reference font", ApplicationFont::reference()},
                {"larger font", large},
                {"huge font", huge}};
    }

    // Where the control draws its text, as its style lays it out.
    static QRect textArea(QWidget *control)
    {
        QStyle *style = control->style();
        if (auto *box = qobject_cast<QLineEdit *>(control)) {
            QStyleOptionFrame option;
            option.initFrom(box);
            option.rect = box->rect();
            option.lineWidth = box->hasFrame()
                                   ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box)
                                   : 0;
            option.midLineWidth = 0;
            option.state |= QStyle::State_Sunken;
            const QRect contents = style->subElementRect(QStyle::SE_LineEditContents, &option, box)
                                       .marginsRemoved(box->textMargins());
            // A line edit keeps 2 pixels free at either side and 1 above and below,
            // and its cursor takes a pixel after the last character.
            return contents.adjusted(2, 1, -3, -1);
        }
        if (auto *button = qobject_cast<QPushButton *>(control)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.rect = button->rect();
            option.text = button->text();
            return style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        }
        return control->contentsRect();
    }

    static QString shownText(QWidget *control)
    {
        if (auto *box = qobject_cast<QLineEdit *>(control))
            return box->displayText();
        if (auto *button = qobject_cast<QPushButton *>(control))
            return button->text();
        return qobject_cast<QLabel *>(control)->text();
    }

    // The cursor's place in the box, once the box has painted itself (painting
    // scrolls it to keep the cursor in view).
    static int cursorX(QLineEdit *box, int position)
    {
        box->setCursorPosition(position);
        box->grab();
        return box->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
    }

private Q_SLOTS:
    void texts_fitTheirControls_data()
    {
        QTest::addColumn<std::optional<QFont>>("font");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QList<QPair<QString, QString>> texts = {
            {"Label3", "Sync-Intervall:"}, {"Label1", "Schlüssel:"}, {"cmdKey", "OK"},
            {"txtTimer", "0.05"},          {"txtTimer", "60"},       {"txtTimer", "10"},
            {"txtKey0", "Text1"},          {"txtKey1", "Text1"}};
        for (const auto &[fontName, font] : fonts()) {
            for (const auto &[name, text] : texts)
                QTest::addRow("%s, %s \"%s\"", qPrintable(fontName), qPrintable(name),
                              qPrintable(text))
                    << font << name << text;
        }
    }
    void texts_fitTheirControls()
    {
        QFETCH(std::optional<QFont>, font);
        QFETCH(QString, name);
        QFETCH(QString, text);
        std::optional<ApplicationFont> applicationFont;
        if (font)
            applicationFont.emplace(*font);
        Fixture f;
        f.window->show();
        QWidget *widget = controlNamed(*f.window, name);
        auto *box = qobject_cast<QLineEdit *>(widget);
        if (box)
            box->setText(text);
        QCOMPARE(shownText(widget).size(), text.size());

        const QFontMetrics metrics = widget->fontMetrics();
        const QRect area = textArea(widget);
        const int width = metrics.horizontalAdvance(shownText(widget));
        QVERIFY2(width <= area.width(), qPrintable(QStringLiteral("%1 px of text in %2 px of %3")
                                                       .arg(width)
                                                       .arg(area.width())
                                                       .arg(widget->width())));
        QVERIFY2(metrics.height() <= area.height(),
                 qPrintable(QStringLiteral("%1 px high text in %2 px")
                                .arg(metrics.height())
                                .arg(area.height())));
        // Nothing scrolled out of view: from its first character to past its
        // last, the cursor travels the whole text.
        if (box)
            QCOMPARE(cursorX(box, int(text.size())) - cursorX(box, 0), width);
    }

    void layout_growsWithTheFont_data()
    {
        QTest::addColumn<std::optional<QFont>>("font");
        for (const auto &[fontName, font] : fonts())
            QTest::newRow(qPrintable(fontName)) << font;
    }
    void layout_growsWithTheFont()
    {
        QFETCH(std::optional<QFont>, font);
        std::optional<ApplicationFont> applicationFont;
        if (font)
            applicationFont.emplace(*font);
        Fixture f;
        f.window->show();
        // One scale for the window and every control, never below the table's.
        const double scale = f.window->width() / 373.0;
        QVERIFY2(scale >= 1, qPrintable(QString::number(scale)));
        QVERIFY(std::abs(f.window->height() - 160 * scale) <= 1);
        const QList<QPair<QString, QRect>> places = {
            {"Label3", {8, 16, 73, 17}},     {"txtTimer", {88, 16, 25, 19}},
            {"UpDown1", {112, 16, 16, 19}},  {"Label1", {160, 16, 57, 17}},
            {"txtKey0", {224, 16, 113, 19}}, {"txtKey1", {224, 40, 113, 19}},
            {"cmdKey", {336, 40, 25, 17}},   {"WebBrowser1", {8, 72, 353, 73}},
            {"Image1", {24, 0, 32, 30}},     {"Image2", {40, 8, 32, 30}}};
        for (const auto &[name, reference] : places) {
            const QRect r = controlNamed(*f.window, name)->geometry();
            const QList<QPair<int, int>> edges = {{r.left(), reference.left()},
                                                  {r.top(), reference.top()},
                                                  {r.right() + 1, reference.right() + 1},
                                                  {r.bottom() + 1, reference.bottom() + 1}};
            for (const auto &[at, at15] : edges)
                QVERIFY2(std::abs(at - at15 * scale) <= 1,
                         qPrintable(QStringLiteral("%1 edge at %2, not %3")
                                        .arg(name)
                                        .arg(at)
                                        .arg(at15 * scale)));
        }
    }

    void layout_largerFontLargerWindow()
    {
        QSize sizes[2];
        for (int i = 0; i < 2; ++i) {
            QFont font = QApplication::font();
            font.setPointSizeF(font.pointSizeF() * (i + 1) * 1.5);
            ApplicationFont applicationFont(font);
            Fixture f;
            f.window->show();
            sizes[i] = f.window->size();
        }
        QVERIFY2(sizes[1].width() > sizes[0].width() && sizes[1].height() > sizes[0].height(),
                 qPrintable(QStringLiteral("%1x%2, then %3x%4")
                                .arg(sizes[0].width())
                                .arg(sizes[0].height())
                                .arg(sizes[1].width())
                                .arg(sizes[1].height())));
    }
};

QTEST_MAIN(tst_WindowTexts)
#include "tst_windowtexts.moc"
