#include "update/KeyConfirmation.h"

bool KeyConfirmation::keyChanged(std::string_view entry, std::string_view confirmation)
{
    m_okEnabled = !entry.empty() && entry == confirmation;
    return m_okEnabled;
}

bool KeyConfirmation::okEnabled() const
{
    return m_okEnabled;
}
