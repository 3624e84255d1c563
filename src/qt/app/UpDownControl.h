#ifndef TAVRIN_QT_APP_UPDOWNCONTROL_H
#define TAVRIN_QT_APP_UPDOWNCONTROL_H

#include <QPointer>
#include <QWidget>

class QAccessibleInterface;
class QLineEdit;
class QToolButton;

// A small pair of vertical arrows bound to a text box (its buddy). Each click
// steps the number by one within [minimum, maximum], writes it into the buddy
// as text and reports the new value.
class UpDownControl : public QWidget
{
    Q_OBJECT
public:
    explicit UpDownControl(QWidget *parent = nullptr);

    void setBuddy(QLineEdit *buddy);
    // What a screen reader calls the upper and the lower arrow.
    void setArrowNames(const QString &up, const QString &down);
    void setRange(int minimum, int maximum);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }

    // Steps from the whole number in the buddy's text when it holds one,
    // otherwise from the control's own value; the result stays within the range.
    static int stepped(const QString &buddyText, int ownValue, int delta, int minimum, int maximum);
    // The value a step starts from: the buddy's whole number, else the control's own.
    int shownValue() const;

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
    void step(int delta);

    QToolButton *m_up;
    QToolButton *m_down;
    QPointer<QLineEdit> m_buddy;
    int m_minimum = 1;
    int m_maximum = 60;
    int m_value = 1;
};

#endif
