#include "update/BrowserView.h"

BrowserView::BrowserView(QWidget *parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void BrowserView::showPage(const QString &text, bool isHtml)
{
    if (isHtml)
        setHtml(text);
    else
        setPlainText(text);
}

QVariant BrowserView::loadResource(int type, const QUrl &name)
{
    // The page comes from a server; whatever it refers to stays unloaded. The
    // answer is an empty resource rather than a null QVariant: on a null one
    // QTextDocument falls back to reading local files itself.
    Q_UNUSED(type);
    Q_UNUSED(name);
    return QVariant(QByteArray());
}
