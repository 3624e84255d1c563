#include "update/UpdateStatus.h"

#include <utility>

UpdateStatus::UpdateStatus(Reason reason, std::string detail)
    : m_reason(reason), m_detail(std::move(detail))
{
}

UpdateStatus::UpdateStatus(RequestOutcome failure)
    : m_reason(Reason::RequestFailed), m_failure(std::move(failure))
{
    m_failure.answerText.reset();
}

std::string UpdateStatus::message() const
{
    switch (m_reason) {
    case Reason::Working:
        return {};
    case Reason::NoKey:
        return "Noch kein Schlüssel eingegeben. Bitte den Schlüssel in beide Felder eingeben "
               "und mit OK bestätigen.";
    case Reason::UrlRefused:
        return "Die gespeicherte Aktualisierungsadresse ist keine gültige http- oder "
               "https-Adresse; es "
               "wird nichts aktualisiert. Bitte den Schlüssel neu eingeben.";
    case Reason::IntervalPaused:
        return "Sync-Intervall „" + m_detail +
               "“ ist nicht verwendbar; es wird nichts aktualisiert.";
    case Reason::RequestFailed: {
        const std::string meaning = m_failure.refusalMeaning();
        return "Die Aktualisierung ist fehlgeschlagen: " + m_failure.germanText() + "." +
               (meaning.empty() ? "" : " " + meaning);
    }
    }
    return {};
}
