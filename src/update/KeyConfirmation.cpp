#include "update/KeyConfirmation.h"

bool KeyConfirmation::keyChanged(const QString &entry, const QString &confirmation)
{
    if (!m_okEnabled && entry.compare(confirmation, Qt::CaseSensitive) == 0)
        m_okEnabled = true;
    return m_okEnabled;
}

bool KeyConfirmation::okEnabled() const
{
    return m_okEnabled;
}
