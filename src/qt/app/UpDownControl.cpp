#include "qt/app/UpDownControl.h"

#include "app/SpinStep.h"
#include "app/WindowLayout.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

namespace {
class UpDownAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit UpDownAccessible(UpDownControl *control)
        : QAccessibleWidget(control, QAccessible::SpinBox)
    {
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return control()->shownValue(); }
    // The value changes by the arrows only, one step and one save at a time.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return UpDownControl::Maximum; }
    QVariant minimumValue() const override { return UpDownControl::Minimum; }
    QVariant minimumStepSize() const override { return 1; }

private:
    UpDownControl *control() const { return static_cast<UpDownControl *>(widget()); }
};
} // namespace

UpDownControl::UpDownControl(QLineEdit *buddy, QWidget *parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)), m_buddy(buddy)
{
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setAccessibleName(QString::fromUtf8(WindowLayout::ArrowUpName));
    m_down->setAccessibleName(QString::fromUtf8(WindowLayout::ArrowDownName));
    for (QToolButton *button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
    }
    connect(m_up, &QToolButton::clicked, this, &UpDownControl::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDownControl::stepDown);
    // The arrows take the focus as one control, so Up and Down keys step too.
    setFocusPolicy(Qt::TabFocus);
}

int UpDownControl::stepped(int delta) const
{
    return SpinStep::stepped(m_buddy ? m_buddy->text().toStdString() : std::string(), m_value,
                             delta, Minimum, Maximum);
}

QAccessibleInterface *UpDownControl::accessibleFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("UpDownControl") || !object->isWidgetType())
        return nullptr;
    return new UpDownAccessible(static_cast<UpDownControl *>(object));
}

void UpDownControl::step(int delta)
{
    const int next = stepped(delta);
    const QString nextText = QString::number(next);
    const bool changed = next != m_value;
    m_value = next;
    if (m_buddy && m_buddy->text() != nextText)
        m_buddy->setText(nextText);
    if (changed) {
        QAccessibleValueChangeEvent event(this, m_value);
        QAccessible::updateAccessibility(&event);
        Q_EMIT valueChanged(m_value);
    }
}

void UpDownControl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        stepUp();
    else if (event->key() == Qt::Key_Down)
        stepDown();
    else
        QWidget::keyPressEvent(event);
}

void UpDownControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}
