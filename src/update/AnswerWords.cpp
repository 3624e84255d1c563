#include "update/AnswerWords.h"

#include "base/AsciiText.h"
#include "update/IpAddress.h"
#include "update/RequestOutcome.h"

#include <algorithm>
#include <array>

namespace {

struct Word
{
    std::string_view word; // lower case
    bool refusal;
    std::string_view meaning;
};

constexpr std::array<Word, 14> Words = {{
    {"good", false, "Der Dienst hat die neue Adresse eingetragen."},
    {"nochg", false, "Die Adresse war schon eingetragen; es war nichts zu ändern."},
    {"ok", false, "Der Dienst hat die Aktualisierung bestätigt."},
    {"badauth", true,
     "Der Dienst hat den Schlüssel nicht angenommen. Bitte den Schlüssel prüfen und neu "
     "eingeben."},
    {"!donator", true, "Diese Funktion bietet der Dienst nur mit einem bezahlten Konto an."},
    {"notfqdn", true, "Der Rechnername ist nicht vollständig angegeben."},
    {"nohost", true, "Diesen Rechnernamen gibt es im Konto nicht."},
    {"numhost", true, "Zu viele Rechnernamen in einer Anfrage."},
    {"abuse", true, "Der Rechnername ist wegen zu vieler Anfragen gesperrt."},
    {"badagent", true, "Der Dienst nimmt Anfragen dieses Programms nicht an."},
    {"dnserr", true, "Der Dienst hat eine Störung bei seinen Namensservern."},
    {"911", true, "Der Dienst hat eine Störung oder wird gewartet; später erneut versuchen."},
    {"ko", true, "Der Dienst hat die Aktualisierung abgelehnt."},
    {"error", true, "Der Dienst meldet einen Fehler."},
}};

const Word *find(std::string_view word)
{
    const std::string lower = AsciiText::lowered(std::string(word));
    const auto it =
        std::find_if(Words.begin(), Words.end(), [&](const Word &w) { return w.word == lower; });
    return it == Words.end() ? nullptr : &*it;
}

} // namespace

bool AnswerWords::isRefusal(std::string_view word)
{
    const Word *w = find(word);
    return w && w->refusal;
}

std::string AnswerWords::meaning(std::string_view word)
{
    const Word *w = find(word);
    return w ? std::string(w->meaning) : std::string();
}

bool AnswerWords::isIpv4(std::string_view text)
{
    std::array<int, 4> parts{};
    return IpAddress::parseIpv4(text, parts);
}

bool AnswerWords::isIpv6(std::string_view text)
{
    std::array<std::uint16_t, 8> groups{};
    return IpAddress::parseIpv6(text, groups);
}

std::optional<std::string> AnswerWords::reportedAddress(const std::string &answer)
{
    const std::string word = RequestOutcome::firstWord(answer);
    const std::size_t after = answer.find(word) + word.size();
    // Only after a blank on the answer word's line: "good::1" is no address, and
    // a later line may be about something else.
    if (word.empty() || after >= answer.size() || (answer[after] != ' ' && answer[after] != '\t'))
        return std::nullopt;
    std::size_t start = after;
    while (start < answer.size() && (answer[start] == ' ' || answer[start] == '\t'))
        ++start;
    const std::size_t end = std::min(answer.find_first_of(" \t\r\n\f\v,;", start), answer.size());
    const std::string candidate = answer.substr(start, end - start);
    if (candidate.empty() || !(isIpv4(candidate) || isIpv6(candidate)))
        return std::nullopt;
    return candidate;
}
