#include "update/KeyConfirmation.h"

bool KeyConfirmation::keyChanged(std::string_view entry, std::string_view confirmation)
{
    if (!m_okEnabled && entry == confirmation)
        m_okEnabled = true;
    return m_okEnabled;
}

bool KeyConfirmation::okEnabled() const
{
    return m_okEnabled;
}
