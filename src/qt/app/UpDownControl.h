#ifndef TAVRIN_QT_APP_UPDOWNCONTROL_H
#define TAVRIN_QT_APP_UPDOWNCONTROL_H

#include <QPointer>
#include <QWidget>

class QAccessibleInterface;
class QLineEdit;
class QToolButton;

// A small pair of vertical arrows bound to a text box (its buddy). Each click
// steps the number by one within [Minimum, Maximum], writes it into the buddy
// as text and reports the new value.
class UpDownControl : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Minimum = 1;
    static constexpr int Maximum = 60;

    UpDownControl(QLineEdit *buddy, QWidget *parent);

    // The value a step starts from: the buddy's whole number, else the control's own.
    int shownValue() const { return stepped(0); }

    // For QAccessible::installFactory: the control as a spin button whose value
    // screen readers read.
    static QAccessibleInterface *accessibleFactory(const QString &className, QObject *object);

public Q_SLOTS:
    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

Q_SIGNALS:
    // The value changed through a click (or a key) on the arrows.
    void valueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int stepped(int delta) const;
    void step(int delta);

    QToolButton *m_up;
    QToolButton *m_down;
    QPointer<QLineEdit> m_buddy;
    int m_value = Minimum;
};

#endif
