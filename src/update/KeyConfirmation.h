#ifndef TAVRIN_UPDATE_KEYCONFIRMATION_H
#define TAVRIN_UPDATE_KEYCONFIRMATION_H

#include <string_view>

// Decides whether the key dialog's OK button is enabled: exactly while the key
// and its confirmation agree (case included, byte for byte in UTF-8) and are not
// empty, so that neither a typing slip nor the bare base URL can be stored.
class KeyConfirmation
{
public:
    // Called on every change of either box; returns whether OK is enabled afterwards.
    bool keyChanged(std::string_view entry, std::string_view confirmation);
    bool okEnabled() const; // false at start: both boxes start empty

private:
    bool m_okEnabled = false;
};

#endif
