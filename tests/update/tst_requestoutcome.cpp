#include "update/RequestOutcome.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ClassifyCase
{
    std::string name;
    int status;
    std::string body;
    bool succeeds;
};

class Classify : public testing::TestWithParam<ClassifyCase>
{
};

TEST_P(Classify, Outcome)
{
    const ClassifyCase &c = GetParam();
    const RequestOutcome outcome = RequestOutcome::ofAnswer(c.status, c.body, {});
    EXPECT_EQ(outcome.succeeded(), c.succeeds);
    EXPECT_EQ(outcome.httpStatus, c.status);
    EXPECT_EQ(outcome.failure == RequestOutcome::Failure::Refused, !c.succeeds && c.status < 400);
}

INSTANTIATE_TEST_SUITE_P(
    RequestOutcome, Classify,
    testing::Values(
        ClassifyCase{"good with address", 200, "good 1.2.3.4", true},
        ClassifyCase{"nochg", 200, "nochg 1.2.3.4\n", true}, ClassifyCase{"OK", 200, "OK", true},
        ClassifyCase{"empty", 200, "", true}, ClassifyCase{"blank", 200, " \r\n", true},
        ClassifyCase{"html page", 200, "<html><body>badauth</body></html>", true},
        ClassifyCase{"unknown text", 200, "updated", true},
        ClassifyCase{"refusal word later in the body", 200, "good abuse", true},
        ClassifyCase{"longer word starting like a refusal", 200, "kookaburra", true},
        ClassifyCase{"redirect status, ok body", 301, "good", true},
        ClassifyCase{"badauth", 200, "badauth", false},
        ClassifyCase{"BADAUTH", 200, "BADAUTH", false},
        ClassifyCase{"!donator", 200, "!donator", false},
        ClassifyCase{"notfqdn", 200, "notfqdn", false},
        ClassifyCase{"nohost with newline", 200, "nohost\n", false},
        ClassifyCase{"numhost", 200, "numhost", false}, ClassifyCase{"abuse", 200, "abuse", false},
        ClassifyCase{"badagent", 200, "badagent", false},
        ClassifyCase{"dnserr", 200, "dnserr", false}, ClassifyCase{"911", 200, "911", false},
        ClassifyCase{"KO", 200, "KO", false}, ClassifyCase{"ko", 200, "ko", false},
        ClassifyCase{"ERROR with colon", 200, "ERROR: wrong password", false},
        ClassifyCase{"error after blanks and BOM", 200, "\xEF\xBB\xBF \terror", false},
        ClassifyCase{"refusal with another 2xx", 201, "badauth", false},
        ClassifyCase{"404 with good body", 404, "good", false},
        ClassifyCase{"500 empty", 500, "", false}, ClassifyCase{"400", 400, "Bad Request", false}),
    paramName<ClassifyCase>);

struct FirstWordCase
{
    std::string name;
    std::string body;
    std::string word;
};

class FirstWord : public testing::TestWithParam<FirstWordCase>
{
};

TEST_P(FirstWord, Word)
{
    EXPECT_EQ(RequestOutcome::firstWord(GetParam().body), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(
    RequestOutcome, FirstWord,
    testing::Values(FirstWordCase{"one word", "good", "good"},
                    FirstWordCase{"word and address", "good 192.0.2.1", "good"},
                    FirstWordCase{"leading blank lines", "\r\n\r\n nochg", "nochg"},
                    FirstWordCase{"tab after", "KO\tmore", "KO"},
                    FirstWordCase{"comma", "error,1", "error"},
                    FirstWordCase{"semicolon", "abuse;x", "abuse"},
                    FirstWordCase{"html tag", "<html><b>x", "<html><b>x"},
                    FirstWordCase{"empty", "", ""}, FirstWordCase{"blanks only", "  \n", ""}),
    paramName<FirstWordCase>);

const std::string KeyUrl = "http://dyn.example.org/nic/update?pw=Secr3tKey";

struct WordCase
{
    std::string name;
    std::string word;
    std::string url;
    bool loggable;
};

class WordInLog : public testing::TestWithParam<WordCase>
{
};

TEST_P(WordInLog, Shown)
{
    const WordCase &c = GetParam();
    EXPECT_EQ(RequestOutcome::mayLogWord(c.word, {c.url}), c.loggable);
}

INSTANTIATE_TEST_SUITE_P(
    RequestOutcome, WordInLog,
    testing::Values(
        WordCase{"plain word", "badauth", KeyUrl, true},
        WordCase{"allowed punctuation", "!donator-x_1.2", KeyUrl, true},
        WordCase{"colon allowed", "a:b", KeyUrl, true},
        WordCase{"24 characters", std::string(24, 'a'), KeyUrl, true},
        WordCase{"25 characters", std::string(25, 'a'), KeyUrl, false},
        WordCase{"html", "<html>", KeyUrl, false},
        WordCase{"non-ASCII", "gr\xC3\xBC\xC3\x9F", KeyUrl, false},
        WordCase{"quote", "a\"b", KeyUrl, false}, WordCase{"empty", "", KeyUrl, false},
        WordCase{"the key", "Secr3tKey", KeyUrl, false},
        WordCase{"the key in other case", "SECR3TKEY", KeyUrl, false},
        WordCase{"part of the key", "cr3t", KeyUrl, false},
        WordCase{"in the path", "update", KeyUrl, false},
        WordCase{"key inside the word", "bad:Secr3tKey", KeyUrl, false},
        WordCase{"key typed with a space, word matches decoded", "my", "http://h.example/my%20key",
                 false},
        WordCase{"host name is no secret", "dyn.example.org", "http://dyn.example.org/k", true},
        // "a%41b" decodes to "aAb": the word matches the key as typed.
        WordCase{"key inside the word, decoded", "xx-aAbcd-yy", "http://h.example/a%41bcd", false},
        WordCase{"fragment is no secret", "badauth", "http://h.example/k#badauth", true}),
    paramName<WordCase>);

} // namespace
