#ifndef TAVRIN_TESTS_APPLICATIONFONT_H
#define TAVRIN_TESTS_APPLICATIONFONT_H

#include <QApplication>
#include <QFont>

// Sets the application's default font for as long as it lives.
class ApplicationFont
{
public:
    explicit ApplicationFont(const QFont &font) : m_saved(QApplication::font())
    {
        QApplication::setFont(font);
    }
    ~ApplicationFont() { QApplication::setFont(m_saved); }
    ApplicationFont(const ApplicationFont &) = delete;
    ApplicationFont &operator=(const ApplicationFont &) = delete;

    // The default font the window's layout was drawn for, at which 15 twips
    // make one pixel: the sans-serif face of 8 pixels.
    static QFont reference()
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(8);
        return font;
    }

private:
    QFont m_saved;
};

#endif
