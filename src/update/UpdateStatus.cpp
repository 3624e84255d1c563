#include "update/UpdateStatus.h"

#include <array>
#include <string_view>
#include <utility>

namespace {

// The channel's reasons in German; others (HTTP 500, ...) are shown as they are.
struct Wording
{
    std::string_view reason;
    std::string_view german;
};
constexpr std::array<Wording, 9> Wordings{{
    {"connection refused", "Verbindung abgelehnt"},
    {"connection closed by the server", "Verbindung vom Server getrennt"},
    {"host not found", "Server nicht gefunden"},
    {"connection timed out", "Zeitüberschreitung der Verbindung"},
    {"secure connection failed", "sichere Verbindung fehlgeschlagen"},
    {"network unavailable", "Netzwerk nicht erreichbar"},
    {"proxy error", "Proxy-Fehler"},
    {"no answer within", "keine Antwort innerhalb von"},
    {"refused by the service", "vom Dienst abgelehnt"},
}};

// Replaces a known leading phrase, keeping what follows it ("5 s", "(\"badauth\")").
std::string german(const std::string &reason)
{
    for (const Wording &wording : Wordings) {
        if (reason.compare(0, wording.reason.size(), wording.reason) == 0)
            return std::string(wording.german) + reason.substr(wording.reason.size());
    }
    return reason;
}

} // namespace

UpdateStatus::UpdateStatus(Reason reason, std::string detail)
    : m_reason(reason), m_detail(std::move(detail))
{
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
        return "Die gespeicherte Update-Adresse ist keine gültige http- oder https-Adresse; es "
               "wird nichts aktualisiert. Bitte den Schlüssel neu eingeben.";
    case Reason::IntervalPaused:
        return "Sync-Intervall „" + m_detail +
               "“ ist nicht verwendbar; es wird nichts aktualisiert.";
    case Reason::RequestFailed:
        if (m_detail.empty())
            return "Die Aktualisierung ist fehlgeschlagen.";
        return "Die Aktualisierung ist fehlgeschlagen: " + german(m_detail) + ".";
    }
    return {};
}
