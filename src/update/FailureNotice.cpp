#include "update/FailureNotice.h"

#include "update/UpdateStatus.h"

FailureNotice::Notice FailureNotice::attempt(bool failed)
{
    if (!failed) {
        m_failuresInARow = 0;
        if (!m_failingNoticeGiven)
            return Notice::None;
        m_failingNoticeGiven = false;
        return Notice::WorkingAgain;
    }
    if (m_failingNoticeGiven || ++m_failuresInARow < FailuresBeforeNotice)
        return Notice::None;
    m_failingNoticeGiven = true;
    return Notice::Failing;
}

std::string FailureNotice::title(Notice notice)
{
    switch (notice) {
    case Notice::Failing:
        return "Aktualisierung gestört";
    case Notice::WorkingAgain:
        return "Aktualisierung läuft wieder";
    case Notice::None:
        break;
    }
    return {};
}

std::string FailureNotice::text(Notice notice, const UpdateStatus &status)
{
    switch (notice) {
    case Notice::Failing:
        return status.message();
    case Notice::WorkingAgain:
        return "Der Eintrag wird wieder aktualisiert.";
    case Notice::None:
        break;
    }
    return {};
}
