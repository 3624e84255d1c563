#include "qt/update/BrowserView.h"

#include "update/HtmlText.h"

BrowserView::BrowserView(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
}

void BrowserView::showPage(const QString &text, bool isHtml)
{
    QString shown;
    if (isHtml) {
        const QByteArray utf8 = text.toUtf8();
        const std::string readable = HtmlText::readableText(
            std::string_view(utf8.constData(), std::size_t(utf8.size())), MaxShownChars);
        shown = QString::fromUtf8(readable.data(), qsizetype(readable.size()));
    } else {
        shown = text;
    }
    if (shown.size() > MaxShownChars) {
        qsizetype length = MaxShownChars;
        if (shown.at(length - 1).isHighSurrogate())
            --length;
        shown.truncate(length);
    }
    setPlainText(shown);
}
