#include "qt/app/TavrinWindow.h"

#include "app/WindowLayout.h"
#include "qt/CoreTypes.h"
#include "qt/app/StarMaskStyle.h"
#include "qt/app/Twips.h"
#include "qt/app/UpDownControl.h"
#include "qt/tray/PictureRegistry.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>

// The pictures live in this static library; register them before first use. Not
// in the unnamed namespace: the macro declares a function of the global one.
static void initPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace {
// Read as PNG only: an image reader that may guess the format loads every
// image plugin to ask it first, which costs the start-up milliseconds.
QPixmap picture(WindowView::Picture which)
{
    QImageReader reader(which == WindowView::Picture::Working
                            ? QStringLiteral(":/pictures/pictureA.png")
                            : QStringLiteral(":/pictures/pictureB.png"),
                        "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// Puts the control where the layout table has it at that scale; returns its
// text there.
QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Puts the control where the layout table has it at that scale, with its
// name and description for screen readers; returns its text there.
QString placeControl(QWidget *control, std::string_view name, double twipsPerPixel)
{
    const ControlLayout &c = WindowLayout::control(name);
    control->setGeometry(Twips::rect(c, twipsPerPixel));
    control->setAccessibleName(fromView(WindowLayout::accessibleName(c)));
    control->setAccessibleDescription(fromView(c.accessibleDescription));
    return fromView(c.text);
}

// The window is a frame to screen readers, named by its caption; a plain
// top-level widget would be an unnamed filler.
QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    if (className != QLatin1String("TavrinWindow") || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
}
} // namespace

TavrinWindow::TavrinWindow(PictureRegistry &pictures, QWidget *parent)
    : QWidget(parent), m_intervalText(toQt(std::string(WindowLayout::control("txtTimer").text))),
      m_registry(pictures)
{
    initPictures();
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(windowAccessible);
        QAccessible::installFactory(UpDownControl::accessibleFactory);
        return true;
    }();
    static_cast<void>(accessibleInstalled);
    m_pictures = {pictures.add(QIcon(picture(Picture::Working))),
                  pictures.add(QIcon(picture(Picture::Failing)))};
    setWindowTitle(toQt(std::string(WindowLayout::Caption)));
    setPicture(Picture::Working);
    // The reference size until the controls are built: measuring the font
    // loads the font database.
    resize(Twips::windowSize(WindowLayout::ReferenceTwipsPerPixel));

    Timer1 = new QTimer(this);
    Timer1->setInterval(6000);
    Timer1->start();
    // The only menu is never shown as a bar; the tray opens it as a pop-up.
    datei = new QMenu(QStringLiteral("Datei"), this);
    optionen = datei->addAction(QStringLiteral("Optionen..."));
    beenden = datei->addAction(QStringLiteral("Beenden"));
}

TavrinWindow::~TavrinWindow() = default;

TavrinWindow::Controls &TavrinWindow::controls()
{
    if (!m_controls) {
        m_controls = buildControls();
        showAnswerArea();
    }
    return *m_controls;
}

TavrinWindow::Controls TavrinWindow::buildControls()
{
    Controls c;
    auto *starMask = new StarMaskStyle();
    starMask->setParent(this);
    // Scaled by the font the controls show their texts in, as it is now.
    const double scale = Twips::perPixel(QFontMetricsF(font(), this));
    resize(Twips::windowSize(scale));
    const auto place = [scale](QWidget *control, std::string_view name) {
        return placeControl(control, name, scale);
    };

    c.Label3 = new QLabel(this);
    c.Label3->setText(place(c.Label3, "Label3"));
    // The box shows the interval in effect, loaded or typed before it was built.
    c.txtTimer = new QLineEdit(m_intervalText, this);
    place(c.txtTimer, "txtTimer");
    c.UpDown1 = new UpDownControl(this);
    place(c.UpDown1, "UpDown1");
    c.UpDown1->setRange(1, 60);
    c.UpDown1->setBuddy(c.txtTimer);
    c.UpDown1->setArrowNames(fromView(WindowLayout::ArrowUpName),
                             fromView(WindowLayout::ArrowDownName));
    c.Label1 = new QLabel(this);
    c.Label1->setText(place(c.Label1, "Label1"));
    for (int index = 0; index < 2; ++index) {
        QLineEdit *box = new QLineEdit(this);
        box->setText(place(box, index == 0 ? "txtKey0" : "txtKey1"));
        box->setEchoMode(QLineEdit::Password);
        box->setStyle(starMask);
        c.txtKey[size_t(index)] = box;
    }
    c.cmdKey = new QPushButton(this);
    c.cmdKey->setText(place(c.cmdKey, "cmdKey"));
    c.cmdKey->setEnabled(false);
    c.WebBrowser1 = new QPlainTextEdit(this);
    c.WebBrowser1->setReadOnly(true);
    c.WebBrowser1->setUndoRedoEnabled(false);
    place(c.WebBrowser1, "WebBrowser1");
    c.WebBrowser1->setTabChangesFocus(true);
    c.Image1 = new QLabel(this);
    place(c.Image1, "Image1");
    c.Image1->setPixmap(picture(Picture::Working));
    c.Image1->setVisible(false);
    c.Image2 = new QLabel(this);
    place(c.Image2, "Image2");
    c.Image2->setPixmap(picture(Picture::Failing));
    c.Image2->setVisible(false);
    // Each label stands for its control: screen readers relate the two.
    const std::pair<std::string_view, QWidget *> named[] = {
        {"Label3", c.Label3},   {"txtTimer", c.txtTimer},       {"Label1", c.Label1},
        {"UpDown1", c.UpDown1}, {"txtKey0", c.txtKey[0]},       {"txtKey1", c.txtKey[1]},
        {"cmdKey", c.cmdKey},   {"WebBrowser1", c.WebBrowser1},
    };
    const auto widget = [&named](std::string_view name) -> QWidget * {
        for (const auto &[controlName, control] : named) {
            if (controlName == name)
                return control;
        }
        return nullptr;
    };
    for (const ControlLayout &layout : WindowLayout::controls()) {
        if (auto *label = qobject_cast<QLabel *>(widget(layout.labelledBy)))
            label->setBuddy(widget(layout.name));
    }

    // Focus order as the layout table numbers it.
    std::array<std::pair<int, QWidget *>, 6> focus = {{
        {WindowLayout::control("WebBrowser1").tabIndex, c.WebBrowser1},
        {WindowLayout::control("txtKey0").tabIndex, c.txtKey[0]},
        {WindowLayout::control("txtTimer").tabIndex, c.txtTimer},
        {WindowLayout::control("UpDown1").tabIndex, c.UpDown1},
        {WindowLayout::control("cmdKey").tabIndex, c.cmdKey},
        {WindowLayout::control("txtKey1").tabIndex, c.txtKey[1]},
    }};
    std::sort(focus.begin(), focus.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 1; i < focus.size(); ++i)
        setTabOrder(focus[i - 1].second, focus[i].second);
    // Left to itself, Qt would focus the first child it made, the interval box,
    // where a stray keystroke changes the saved interval.
    c.firstTyped = nullptr;
    for (const auto &[tab, control] : focus) {
        if ((c.firstTyped = qobject_cast<QLineEdit *>(control)))
            break;
    }

    connect(c.txtTimer, &QLineEdit::textChanged, this, &TavrinWindow::intervalEdited);
    connect(c.UpDown1, &UpDownControl::valueChanged, this, &TavrinWindow::arrowsClicked);
    for (int index = 0; index < 2; ++index) {
        connect(c.txtKey[size_t(index)], &QLineEdit::textChanged, this,
                [this, index] { Q_EMIT keyEdited(index); });
        connect(c.txtKey[size_t(index)], &QLineEdit::returnPressed, this,
                [this, index] { Q_EMIT keyReturnPressed(index); });
    }
    connect(c.cmdKey, &QPushButton::clicked, this, &TavrinWindow::okClicked);
    return c;
}

void TavrinWindow::setVisible(bool visible)
{
    if (visible)
        controls();
    QWidget::setVisible(visible);
    if (visible && !m_shownBefore) {
        m_shownBefore = true;
        followPlatformMinimise();
        // Taken when the window becomes active; later showings keep the user's place.
        if (m_controls->firstTyped)
            m_controls->firstTyped->setFocus(Qt::OtherFocusReason);
    }
}

void TavrinWindow::followPlatformMinimise()
{
    // On Wayland the compositor never reports a window as minimised: Qt sends the
    // request (a title bar's button) and at once reports the old state back, so
    // the widget would never see the minimising that sends it to the tray.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    connect(QWidget::windowHandle(), &QWindow::windowStateChanged, this,
            [this](Qt::WindowState state) {
                if (state != Qt::WindowMinimized || isMinimized())
                    return;
                const Qt::WindowStates before = windowState();
                overrideWindowState(before | Qt::WindowMinimized);
                QWindowStateChangeEvent change(before);
                QCoreApplication::sendEvent(this, &change);
            });
}

void TavrinWindow::showAnswer(const std::string &text)
{
    m_answer = QString::fromStdString(text);
    showAnswerArea();
}

void TavrinWindow::setStatusText(const std::string &text)
{
    m_statusText = QString::fromStdString(text);
    showAnswerArea();
}

void TavrinWindow::showAnswerArea()
{
    if (!m_controls)
        return;
    m_controls->WebBrowser1->setPlainText(m_statusText.isEmpty() ? m_answer : m_statusText);
}

void TavrinWindow::setPicture(Picture picture)
{
    const std::uint32_t handle = pictureHandle(picture);
    if (handle == m_shownPicture)
        return;
    m_shownPicture = handle;
    setWindowIcon(m_registry.icon(handle));
}

double TavrinWindow::twipsPerPixel() const
{
    const int dpi = logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : double(Twips::PerLogicalPixel);
}

void TavrinWindow::minimiseAtStart()
{
    // Minimised for this widget only (the resize handler still runs): telling the
    // window system would mark the never-shown window iconic, and Qt maps it before
    // it clears that mark on the first restore, so a window manager may iconify
    // it again right away.
    overrideWindowState(windowState() | Qt::WindowMinimized);
}

void TavrinWindow::restore()
{
    // Normal also for a window that was maximised before it went to the tray. The
    // hidden window keeps its maximised size, so it gets its normal place back too.
    const Qt::WindowStates enlarged = Qt::WindowMaximized | Qt::WindowFullScreen;
    const QRect normal = (windowState() & enlarged) ? normalGeometry() : QRect();
    setWindowState(windowState() & ~(enlarged | Qt::WindowMinimized));
    if (normal.isValid())
        setGeometry(normal);
    show();
}

std::string TavrinWindow::intervalText()
{
    return toStd(m_controls ? m_controls->txtTimer->text() : m_intervalText);
}

void TavrinWindow::setIntervalText(const std::string &text)
{
    if (m_controls) {
        m_controls->txtTimer->setText(toQt(text));
        return;
    }
    // Like a text box, replacing the text with the same text changes nothing.
    if (toQt(text) == m_intervalText)
        return;
    m_intervalText = toQt(text);
    Q_EMIT intervalEdited();
}

void TavrinWindow::popUpMenu()
{
    datei->popup(QCursor::pos());
}

bool TavrinWindow::askQuitQuestion()
{
    if (m_confirmQuit)
        return m_confirmQuit();
    // No parent: the question is asked while the window hides in the tray, and a
    // box is placed over its parent, which would be the hidden window's corner.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tavrin Connector beenden..."),
                    QStringLiteral("Möchten Sie den Dienst wirklich beenden?"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    // Centred on the screen the tray was clicked on. Only the shown box has its
    // final size, and Qt's own placement leaves room for a guessed title bar.
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    const QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    QRect frame = box.frameGeometry();
    frame.moveCenter((screen ? screen : box.screen())->availableGeometry().center());
    box.move(frame.topLeft());
    return box.exec() == QMessageBox::Ok;
}

void TavrinWindow::setTickIntervalMs(std::int64_t ms)
{
    Timer1->setInterval(int(std::clamp<std::int64_t>(ms, 1, INT_MAX)));
}

void TavrinWindow::startTicking(std::int64_t firstMs)
{
    Timer1->start(int(std::clamp<std::int64_t>(firstMs, 1, INT_MAX)));
}

void TavrinWindow::runPendingEvents()
{
    QCoreApplication::processEvents();
}

void TavrinWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Q_EMIT resized();
}

void TavrinWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (isVisible())
        Q_EMIT resized();
}

void TavrinWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    Q_EMIT closed();
}
