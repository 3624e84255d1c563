#include "qt/app/TavrinWindow.h"

#include "app/WindowLayout.h"
#include "qt/CoreTypes.h"
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
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <vector>

// The pictures live in this static library; register them before first use. Not
// in the unnamed namespace: the macro declares a function of the global one.
static void initPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace {
// The sizes each picture is drawn at (scripts/render-pictures.sh): a tray or
// a window takes the size it asks for rather than a scaled one.
constexpr int PictureSizes[] = {16, 20, 24, 32, 40, 48, 64, 128, 256};

QString picturePath(WindowView::Picture which, int size)
{
    return QStringLiteral(":/pictures/picture%1-%2.png")
        .arg(which == WindowView::Picture::Working ? 'A' : 'B')
        .arg(size);
}

// Read as PNG only: an image reader that may guess the format loads every
// image plugin to ask it first, which costs the start-up milliseconds.
QPixmap picture(WindowView::Picture which)
{
    QImageReader reader(picturePath(which, 32), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// Every size, each read only when first asked for.
QIcon pictureIcon(WindowView::Picture which)
{
    QIcon icon;
    for (const int size : PictureSizes)
        icon.addFile(picturePath(which, size), QSize(size, size));
    return icon;
}

// Twips per logical pixel at the window's font; Qt scales logical pixels for
// high-density screens itself. Averaged over the letters, as dialog units are,
// not taken from the font's own average width, which counts every glyph it has.
double twipsAtFont(const QFontMetricsF &metrics)
{
    static const QString letters =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return WindowLayout::twipsPerPixel(metrics.horizontalAdvance(letters) / letters.size(),
                                       metrics.height());
}

QSize windowSize(double twipsPerPixel)
{
    const WindowLayout::PixelRect r = WindowLayout::windowToPixels(twipsPerPixel);
    return QSize(r.width, r.height);
}

// Masks the key boxes with "*" instead of the platform's bullet.
class StarMaskStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

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
    : QWidget(parent), m_intervalText(QString::fromUtf8(WindowLayout::control("txtTimer").text)),
      m_registry(pictures)
{
    initPictures();
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(windowAccessible);
        QAccessible::installFactory(UpDownControl::accessibleFactory);
        return true;
    }();
    static_cast<void>(accessibleInstalled);
    m_pictures = {pictures.add(pictureIcon(Picture::Working)),
                  pictures.add(pictureIcon(Picture::Failing))};
    setWindowTitle(QString::fromUtf8(WindowLayout::Caption));
    setPicture(Picture::Working);
    // The reference size until the controls are built: measuring the font
    // loads the font database.
    resize(windowSize(WindowLayout::ReferenceTwipsPerPixel));

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
    const double scale = twipsAtFont(QFontMetricsF(font(), this));
    resize(windowSize(scale));
    const auto text = [](std::string_view name) {
        return QString::fromUtf8(WindowLayout::control(name).text);
    };

    c.Label3 = new QLabel(text("Label3"), this);
    // The box shows the interval in effect, loaded or typed before it was built.
    c.txtTimer = new QLineEdit(m_intervalText, this);
    c.UpDown1 = new UpDownControl(c.txtTimer, this);
    c.Label1 = new QLabel(text("Label1"), this);
    for (QLineEdit *&box : c.txtKey) {
        box = new QLineEdit(this);
        box->setEchoMode(QLineEdit::Password);
        box->setStyle(starMask);
    }
    c.cmdKey = new QPushButton(text("cmdKey"), this);
    c.cmdKey->setEnabled(false);
    c.WebBrowser1 = new QPlainTextEdit(this);
    c.WebBrowser1->setReadOnly(true);
    c.WebBrowser1->setUndoRedoEnabled(false);
    c.WebBrowser1->setTabChangesFocus(true);
    c.Image1 = new QLabel(this);
    c.Image1->setPixmap(picture(Picture::Working));
    c.Image1->setVisible(false);
    c.Image2 = new QLabel(this);
    c.Image2->setPixmap(picture(Picture::Failing));
    c.Image2->setVisible(false);

    // In the table's order: placed, named for screen readers, each label standing
    // for its control, and the focus order as the table numbers it.
    const auto &table = WindowLayout::controls();
    const std::array<QWidget *, WindowLayout::ControlCount> widgets = {
        c.Label3,    c.txtTimer, c.UpDown1,     c.Label1, c.txtKey[0],
        c.txtKey[1], c.cmdKey,   c.WebBrowser1, c.Image1, c.Image2};
    std::vector<std::pair<int, QWidget *>> focus;
    for (size_t i = 0; i < table.size(); ++i) {
        const ControlLayout &layout = table[i];
        QWidget *widget = widgets[i];
        const WindowLayout::PixelRect r = WindowLayout::toPixels(layout, scale);
        widget->setGeometry(r.left, r.top, r.width, r.height);
        widget->setAccessibleName(QString::fromUtf8(WindowLayout::accessibleName(layout)));
        widget->setAccessibleDescription(QString::fromUtf8(layout.accessibleDescription));
        if (!layout.labelledBy.empty()) {
            const auto label = &WindowLayout::control(layout.labelledBy) - table.data();
            static_cast<QLabel *>(widgets[size_t(label)])->setBuddy(widget);
        }
        if (layout.tabIndex >= 0)
            focus.emplace_back(layout.tabIndex, widget);
    }
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

void TavrinWindow::showAnswerArea()
{
    if (!m_controls)
        return;
    // Unchanged text keeps where the user scrolled to.
    if (m_controls->WebBrowser1->toPlainText() != m_answer)
        m_controls->WebBrowser1->setPlainText(m_answer);
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
    return dpi > 0 ? 1440.0 / dpi : WindowLayout::ReferenceTwipsPerPixel;
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
