#ifndef TAVRIN_QT_UPDATE_BROWSERVIEW_H
#define TAVRIN_QT_UPDATE_BROWSERVIEW_H

#include <QPlainTextEdit>

// The display area for the update server's answer. It shows text only: an
// HTML answer is reduced to its readable text (HtmlText) and shown like any
// other, so nothing in an answer is ever laid out as rich text, no link exists
// to follow and no image, style sheet or other resource is ever loaded.
class BrowserView : public QPlainTextEdit
{
    Q_OBJECT
public:
    // More text than this is cut; the channel offers no more anyway.
    static constexpr int MaxShownChars = 64 * 1024;

    explicit BrowserView(QWidget *parent = nullptr);

    // text is the decoded answer; isHtml says it is an HTML page.
    void showPage(const QString &text, bool isHtml);
};

#endif
