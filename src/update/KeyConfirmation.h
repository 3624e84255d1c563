#ifndef TAVRIN_UPDATE_KEYCONFIRMATION_H
#define TAVRIN_UPDATE_KEYCONFIRMATION_H

#include <QString>

// Decides whether the key dialog's OK button is enabled: it turns on the first
// time the key and its confirmation agree exactly (case included) and then
// stays on, whatever the boxes hold later.
class KeyConfirmation
{
public:
    // Called on every change of either box; returns whether OK is enabled afterwards.
    bool keyChanged(const QString &entry, const QString &confirmation);
    bool okEnabled() const; // false at start, although both boxes start with the same text

private:
    bool m_okEnabled = false;
};

#endif
