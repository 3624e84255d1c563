#include "update/RequestOutcome.h"

#include <cstdio>
#include <utility>

namespace {

// Both languages side by side, so no reason lacks either.
std::pair<std::string, std::string> texts(const RequestOutcome &o)
{
    using F = RequestOutcome::Failure;
    const std::string status = "HTTP " + std::to_string(o.httpStatus);
    switch (o.failure) {
    case F::None:
        return {};
    case F::ConnectionRefused:
        return {"connection refused", "Verbindung abgelehnt"};
    case F::ConnectionClosed:
        return {"connection closed by the server", "Verbindung vom Server getrennt"};
    case F::HostNotFound:
        return {"host not found", "Server nicht gefunden"};
    case F::ConnectionTimedOut:
        return {"connection timed out", "Zeitüberschreitung der Verbindung"};
    case F::SecureConnectionFailed:
        return {"secure connection failed", "sichere Verbindung fehlgeschlagen"};
    case F::NetworkUnavailable:
        return {"network unavailable", "Netzwerk nicht erreichbar"};
    case F::ProxyError:
        return {"proxy error", "Proxy-Fehler"};
    case F::NetworkError:
        return {"network error " + std::to_string(o.number),
                "Netzwerkfehler " + std::to_string(o.number)};
    case F::NotStarted:
        return {"request could not be started", "Anfrage konnte nicht gestartet werden"};
    case F::Deadline: {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3g s", double(o.number) / 1000.0);
        return {std::string("no answer within ") + seconds,
                std::string("keine Antwort innerhalb von ") + seconds};
    }
    case F::HttpStatus:
        return {status, "der Dienst antwortete mit HTTP-Status " + std::to_string(o.httpStatus)};
    case F::Refused:
        if (o.word.empty())
            return {"refused by the service", "vom Dienst abgelehnt"};
        return {"refused by the service (\"" + o.word + "\")",
                "vom Dienst abgelehnt („" + o.word + "“)"};
    case F::InterimOnly:
        return {status + ", an interim answer without a final one",
                "nur eine Zwischenantwort (" + status + ")"};
    case F::TooLarge:
        return {"answer too large", "Antwort zu groß"};
    case F::CutShort:
        return {"answer cut short", "Antwort unvollständig"};
    case F::Broken:
        return {"invalid answer from the server", "ungültige Antwort vom Server"};
    case F::CompressedDamaged:
        return {"compressed answer damaged", "komprimierte Antwort beschädigt"};
    case F::UnsupportedCoding:
        return {"answer in an unsupported coding", "Antwort in einer unbekannten Kodierung"};
    case F::RedirectScheme:
        return {"unsupported protocol", "Weiterleitung auf ein anderes Protokoll abgelehnt"};
    case F::RedirectInvalid:
        return {"invalid redirect", "ungültige Weiterleitung"};
    case F::RedirectLessSecure:
        return {"redirect to a less secure URL refused",
                "Weiterleitung auf eine unsichere Adresse abgelehnt"};
    case F::TooManyRedirects:
        return {"too many redirects", "zu viele Weiterleitungen"};
    case F::UrlNotFit:
        return {"update URL not fit to send", "Update-Adresse nicht sendbar"};
    }
    return {};
}

} // namespace

std::string RequestOutcome::logText() const
{
    return texts(*this).first;
}

std::string RequestOutcome::germanText() const
{
    return texts(*this).second;
}
