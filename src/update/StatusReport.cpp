#include "update/StatusReport.h"

#include "update/AnswerWords.h"
#include "update/RequestOutcome.h"
#include "update/UpdateStatus.h"

#include <cstdio>

namespace {

// Days since 1970-01-01 of a calendar date (proleptic Gregorian).
std::int64_t daysOf(const LocalTime &t)
{
    const int y = t.year - (t.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = int(y - era * 400);
    const int dayOfYear = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The longest answer word shown as it is; a longer one is left to the text below.
constexpr std::size_t MaxShownWord = 32;

// What a successful answer said. A refusal word counted as success (read off
// an HTML page's text) is only quoted: its meaning would contradict the success.
std::string saidInWords(const std::string &word)
{
    const std::string meaning = AnswerWords::meaning(word);
    if (!meaning.empty() && !AnswerWords::isRefusal(word))
        return meaning;
    if (word.empty())
        return "Der Dienst hat ohne Text geantwortet.";
    if (word.size() > MaxShownWord)
        return "Der Dienst hat mit einem längeren Text geantwortet.";
    return "Antwort des Dienstes: „" + word + "“";
}

} // namespace

void StatusReport::attemptEnded(const RequestOutcome &outcome, std::int64_t atSeconds,
                                std::optional<std::int64_t> nextSeconds)
{
    m_lastAttemptSeconds = atSeconds;
    m_nextSeconds = nextSeconds;
    if (!outcome.succeeded())
        return;
    m_lastSuccessSeconds = atSeconds;
    const std::string answer = outcome.answerText.value_or(std::string());
    m_word = RequestOutcome::firstWord(answer);
    m_address = AnswerWords::reportedAddress(answer);
}

std::string StatusReport::when(const LocalTime &at, const LocalTime &now)
{
    char clock[8];
    std::snprintf(clock, sizeof clock, "%02d:%02d", at.hour % 100, at.minute % 100);
    switch (daysOf(at) - daysOf(now)) {
    case 0:
        return std::string("heute ") + clock;
    case -1:
        return std::string("gestern ") + clock;
    case 1:
        return std::string("morgen ") + clock;
    default:
        break;
    }
    char date[32];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d ", at.day % 100, at.month % 100,
                  at.year % 10000);
    return date + std::string(clock);
}

std::string StatusReport::text(const UpdateStatus &status, const std::string &answer,
                               const WallClock &clock) const
{
    const LocalTime now = clock.localTime(clock.nowSeconds());
    std::string head;
    switch (status.reason()) {
    case UpdateStatus::Reason::Working:
        if (m_lastSuccessSeconds)
            head = successText(clock, now);
        break;
    case UpdateStatus::Reason::RequestFailed:
        head = failureText(status, clock, now);
        break;
    default:
        head = status.message();
        break;
    }
    if (head.empty())
        return answer;
    if (answer.empty())
        return head;
    return head + "\n\n" + answer;
}

std::string StatusReport::successText(const WallClock &clock, const LocalTime &now) const
{
    std::string text =
        "Zuletzt aktualisiert: " + when(clock.localTime(*m_lastSuccessSeconds), now) + "\n" +
        saidInWords(m_word);
    if (m_address)
        text += "\nGemeldete Adresse: " + *m_address;
    return text;
}

std::string StatusReport::failureText(const UpdateStatus &status, const WallClock &clock,
                                      const LocalTime &now) const
{
    std::string text = "Aktualisierung fehlgeschlagen";
    if (m_lastAttemptSeconds)
        text += ": " + when(clock.localTime(*m_lastAttemptSeconds), now);
    text += "\nGrund: " + status.failure().germanSentences();
    if (m_nextSeconds)
        text += "\nNächster Versuch: " + when(clock.localTime(*m_nextSeconds), now);
    if (m_lastSuccessSeconds)
        text += "\nZuletzt erfolgreich: " + when(clock.localTime(*m_lastSuccessSeconds), now);
    else
        text += "\nSeit dem Programmstart noch nicht erfolgreich.";
    return text;
}
