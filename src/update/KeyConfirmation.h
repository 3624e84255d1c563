#ifndef TAVRIN_UPDATE_KEYCONFIRMATION_H
#define TAVRIN_UPDATE_KEYCONFIRMATION_H

#include <string_view>

// Decides whether the key dialog's OK button is enabled: it turns on the first
// time the key and its confirmation agree exactly (case included, byte for byte
// in UTF-8) and then stays on, whatever the boxes hold later.
class KeyConfirmation
{
public:
    // Called on every change of either box; returns whether OK is enabled afterwards.
    bool keyChanged(std::string_view entry, std::string_view confirmation);
    bool okEnabled() const; // false at start, although both boxes start with the same text

private:
    bool m_okEnabled = false;
};

#endif
