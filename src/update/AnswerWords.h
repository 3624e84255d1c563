#ifndef TAVRIN_UPDATE_ANSWERWORDS_H
#define TAVRIN_UPDATE_ANSWERWORDS_H

#include <optional>
#include <string>
#include <string_view>

// The words update services answer with, and what they mean to the user.
namespace AnswerWords {
// A word that says no, in any case: "badauth", "nohost", "911", "KO", ...
bool isRefusal(std::string_view word);
// What the word means, in German sentences (UTF-8); empty for a word not known.
std::string meaning(std::string_view word);

// An address as written: four decimal parts 0 to 255 without leading zeros.
bool isIpv4(std::string_view text);
// An address as written: eight groups of 1 to 4 hex digits, "::" once at most
// for the zero groups left out, the last two groups perhaps as an IPv4 address.
bool isIpv6(std::string_view text);
// The address an answer reports: the word after the answer's first word
// ("good 203.0.113.7"), when it is an IPv4 or IPv6 address; never anything else.
std::optional<std::string> reportedAddress(const std::string &answer);
} // namespace AnswerWords

#endif
