#ifndef TAVRIN_UPDATE_BROWSERVIEW_H
#define TAVRIN_UPDATE_BROWSERVIEW_H

#include <QTextBrowser>

// The display area for the update server's answer. It shows the text it is
// given and nothing more: links are not followed and no image, style sheet or
// other resource is ever loaded, from the network or from disk.
class BrowserView : public QTextBrowser
{
    Q_OBJECT
public:
    explicit BrowserView(QWidget *parent = nullptr);

    // HTML is shown as rich text, anything else as plain text.
    void showPage(const QString &text, bool isHtml);

    QVariant loadResource(int type, const QUrl &name) override;
};

#endif
