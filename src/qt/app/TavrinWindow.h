#ifndef TAVRIN_QT_APP_TAVRINWINDOW_H
#define TAVRIN_QT_APP_TAVRINWINDOW_H

#include "app/WindowView.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QPlainTextEdit;
class PictureRegistry;
class QAction;
class QLabel;
class UpDownControl;

// The program's window on Qt Widgets, built from the shared layout table. It
// shows what the presenter sets and reports what the user does as signals.
class TavrinWindow : public QWidget, public WindowView
{
    Q_OBJECT
public:
    explicit TavrinWindow(PictureRegistry &pictures, QWidget *parent = nullptr);
    ~TavrinWindow() override;

    // The controls, by their window names. They are built the first time the
    // window is shown or one of them is asked for: the first text box loads the
    // font database, and a program that starts hidden in the tray should neither
    // wait for that before its icon and first request nor keep it in memory.
    QLabel *Label3() { return controls().Label3; }
    QLineEdit *txtTimer() { return controls().txtTimer; }
    UpDownControl *UpDown1() { return controls().UpDown1; }
    QLabel *Label1() { return controls().Label1; }
    QLineEdit *txtKey(int index) { return controls().txtKey.at(size_t(index)); }
    QPushButton *cmdKey() { return controls().cmdKey; }
    // The answer area: text only, nothing in an answer is laid out or loaded.
    QPlainTextEdit *WebBrowser1() { return controls().WebBrowser1; }
    QLabel *Image1() { return controls().Image1; }
    QLabel *Image2() { return controls().Image2; }
    bool controlsBuilt() const { return m_controls.has_value(); }
    // Builds the controls before the window first shows, and gives the focus
    // to the first box the user types in.
    void setVisible(bool visible) override;

    QTimer *Timer1;
    QMenu *datei;
    QAction *optionen;
    QAction *beenden;

    // Replaces the question "Beenden" asks (a message box) — for tests.
    void setQuitConfirmation(std::function<bool()> confirm) { m_confirmQuit = std::move(confirm); }

    // WindowView
    void setCaption(const std::string &caption) override
    {
        setWindowTitle(QString::fromStdString(caption));
    }
    void setPicture(Picture picture) override;
    // Kept until the area is built; shown while no status text stands in it.
    void showAnswer(const std::string &text) override;
    std::uint32_t pictureHandle(Picture picture) const override
    {
        return m_pictures[picture == Picture::Working ? 0 : 1];
    }
    std::uint32_t windowHandle() const override { return std::uint32_t(internalWinId()); }
    double twipsPerPixel() const override;
    bool isMinimised() const override { return windowState() & Qt::WindowMinimized; }
    bool isShown() const override { return isVisible(); }
    void minimiseAtStart() override;
    void hide() override { QWidget::hide(); }
    void restore() override;
    void bringToFront() override { raise(), activateWindow(); }
    std::string intervalText() override;
    void setIntervalText(const std::string &text) override;
    std::string keyText(int index) override { return txtKey(index)->text().toStdString(); }
    void setOkEnabled(bool enabled) override { cmdKey()->setEnabled(enabled); }
    bool menuShown() const override { return datei->isVisible(); }
    void popUpMenu() override;
    bool askQuitQuestion() override;
    void endProgram() override { Q_EMIT programEnding(); }
    std::int64_t tickIntervalMs() const override { return Timer1->interval(); }
    void setTickIntervalMs(std::int64_t ms) override;
    void startTicking(std::int64_t firstMs) override;
    void stopTicking() override { Timer1->stop(); }
    void runPendingEvents() override;

Q_SIGNALS:
    // The window's size or state changed (minimised, restored).
    void resized();
    void closed();
    void intervalEdited();
    void arrowsClicked();
    void keyEdited(int index);
    // Enter was pressed in a key box.
    void keyReturnPressed(int index);
    void okClicked();
    // Beenden was confirmed or the window closed: the program is to end at once.
    void programEnding();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Controls
    {
        QLabel *Label3;
        QLineEdit *txtTimer;
        UpDownControl *UpDown1;
        QLabel *Label1;
        std::array<QLineEdit *, 2> txtKey;
        QPushButton *cmdKey;
        QPlainTextEdit *WebBrowser1;
        QLabel *Image1;
        QLabel *Image2;
        // The first control in the focus order that takes typed text.
        QLineEdit *firstTyped;
    };

    Controls &controls();
    Controls buildControls();
    // Takes a minimising the platform does not report back as the widget's own.
    void followPlatformMinimise();

    std::array<std::uint32_t, 2> m_pictures{};
    std::uint32_t m_shownPicture = 0;
    // The interval box's text while the box is not built.
    QString m_intervalText;
    std::optional<Controls> m_controls;
    bool m_shownBefore = false;
    // Shows the status text while there is one, the last answer otherwise.
    void showAnswerArea();

    // The last answer; shown again once the status text goes.
    QString m_answer;
    // Why nothing is updated; empty while updating works.
    std::function<bool()> m_confirmQuit;
    PictureRegistry &m_registry;
};

#endif
