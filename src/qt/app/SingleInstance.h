#ifndef TAVRIN_QT_APP_SINGLEINSTANCE_H
#define TAVRIN_QT_APP_SINGLEINSTANCE_H

#include <QObject>
#include <QString>

// Keeps one running program per instance key (the executable's base name, which
// also addresses its settings) on the session bus. The first start owns a
// well-known name made from the key and answers Show there; a later start calls
// Show and is to end without doing anything else.
//
// The bus drops a dead owner's name by itself, so nothing a crashed run left
// keeps a start from running. An owner that does not answer within a second is
// taken to hang and is replaced (owners allow that); a replaced copy hears so
// when it runs again and is to end, so one name never runs twice.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.tavrin_connector.Instance")
public:
    enum class Outcome
    {
        // This process is the running program (or runs unguarded, see claim()).
        Primary,
        // Another process runs under this key and was asked to show its window.
        HandedOver
    };

    explicit SingleInstance(const QString &key, QObject *parent = nullptr);

    // Owns the key's bus name or hands over to its owner. Blocks for about a
    // second at most, and only when an owner does not answer. Without a session
    // bus the program runs unguarded: the outcome is Primary.
    Outcome claim();

    // The well-known name of a key: distinct keys give distinct names.
    static QString busName(const QString &key);

public Q_SLOTS:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void Show();

Q_SIGNALS:
    // A later start asked this (primary) process to show its window.
    void showRequested();
    // Another start took the name over: this copy is to end.
    void replaced();

private:
    bool own(bool replace);
    void lose();

    QString m_name;
    bool m_owner = false;
};

#endif
