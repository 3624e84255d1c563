#include "update/AnswerWords.h"
#include "update/StatusReport.h"
#include "update/UpdateStatus.h"

#include "FakeWallClock.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// What the answer area says at a glance, with the calendar fixed at
// 9 December 2026, 18:40 local time.
namespace {

using Failure = RequestOutcome::Failure;

struct Calendar
{
    FakeWallClock clock;
    Calendar() { clock.now = clock.at(2026, 12, 9, 18, 40); }
};

RequestOutcome answered(const std::string &body)
{
    RequestOutcome outcome = RequestOutcome::ofAnswer(200, body, {});
    outcome.answerText = body;
    return outcome;
}

struct WhenCase
{
    std::string name;
    LocalTime at;
    std::string expected;
};

class When : public testing::TestWithParam<WhenCase>
{
};

TEST_P(When, SaysTheDayInWords)
{
    EXPECT_EQ(StatusReport::when(GetParam().at, {2026, 1, 1, 0, 5}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    StatusReport, When,
    testing::Values(WhenCase{"today", {2026, 1, 1, 0, 5}, "heute 00:05"},
                    WhenCase{"yesterdayAcrossTheYear", {2025, 12, 31, 23, 10}, "gestern 23:10"},
                    WhenCase{"tomorrow", {2026, 1, 2, 9, 0}, "morgen 09:00"},
                    WhenCase{"older", {2025, 12, 30, 18, 25}, "30.12.2025 18:25"},
                    WhenCase{"sameDayLastYear", {2025, 1, 1, 7, 3}, "01.01.2025 07:03"}),
    paramName<WhenCase>);

struct SuccessCase
{
    std::string name;
    std::string answer;
    std::string said; // the lines after the time
};

class Success : public testing::TestWithParam<SuccessCase>
{
};

TEST_P(Success, SaysWhenWhatAndWhichAddress)
{
    Calendar c;
    StatusReport report;
    const RequestOutcome succeeded(Failure::None, 200, "", 0, GetParam().answer);
    report.attemptEnded(succeeded, c.clock.at(2026, 12, 9, 18, 25), {});
    const std::string expected = "Zuletzt aktualisiert: heute 18:25\n" + GetParam().said +
                                 (GetParam().answer.empty() ? "" : "\n\n" + GetParam().answer);
    EXPECT_EQ(report.text(UpdateStatus(), GetParam().answer, c.clock), expected);
}

const std::string Good = "Der Dienst hat die neue Adresse eingetragen.";

INSTANTIATE_TEST_SUITE_P(
    StatusReport, Success,
    testing::Values(
        SuccessCase{"goodIpv4", "good 203.0.113.7", Good + "\nGemeldete Adresse: 203.0.113.7"},
        SuccessCase{"nochgIpv6", "nochg 2001:db8::1\n",
                    "Die Adresse war schon eingetragen; es war nichts zu ändern.\n"
                    "Gemeldete Adresse: 2001:db8::1"},
        SuccessCase{"okWithoutAddress", "OK", "Der Dienst hat die Aktualisierung bestätigt."},
        SuccessCase{"goodWithoutAddress", "good", Good},
        SuccessCase{"notAnAddress", "good example.org", Good},
        SuccessCase{"addressOnTheNextLine", "good\n203.0.113.7", Good},
        SuccessCase{"addressAfterAColon", "good::1", Good},
        SuccessCase{"unknownWord", "updated 203.0.113.7",
                    "Antwort des Dienstes: „updated“\nGemeldete Adresse: 203.0.113.7"},
        SuccessCase{"refusalWordInAPageThatSucceeded", "badauth",
                    "Antwort des Dienstes: „badauth“"},
        SuccessCase{"noText", "", "Der Dienst hat ohne Text geantwortet."},
        SuccessCase{"longWord", std::string(40, 'x'),
                    "Der Dienst hat mit einem längeren Text geantwortet."}),
    paramName<SuccessCase>);

struct AddressCase
{
    std::string name;
    std::string text;
    bool ipv4;
    bool ipv6;
};

class Address : public testing::TestWithParam<AddressCase>
{
};

TEST_P(Address, IsValidatedAsWritten)
{
    EXPECT_EQ(AnswerWords::isIpv4(GetParam().text), GetParam().ipv4);
    EXPECT_EQ(AnswerWords::isIpv6(GetParam().text), GetParam().ipv6);
}

INSTANTIATE_TEST_SUITE_P(
    AnswerWords, Address,
    testing::Values(AddressCase{"ipv4", "203.0.113.7", true, false},
                    AddressCase{"ipv4Edges", "0.0.0.255", true, false},
                    AddressCase{"ipv4Over255", "203.0.113.256", false, false},
                    AddressCase{"ipv4LeadingZero", "203.0.113.07", false, false},
                    AddressCase{"ipv4ThreeParts", "203.0.113", false, false},
                    AddressCase{"ipv4FiveParts", "1.2.3.4.5", false, false},
                    AddressCase{"ipv4EmptyPart", "1..3.4", false, false},
                    AddressCase{"ipv4Sign", "+1.2.3.4", false, false},
                    AddressCase{"ipv6Full", "2001:0db8:0:0:0:0:0:1", false, true},
                    AddressCase{"ipv6Gap", "2001:db8::1", false, true},
                    AddressCase{"ipv6Loopback", "::1", false, true},
                    AddressCase{"ipv6Unspecified", "::", false, true},
                    AddressCase{"ipv6MappedIpv4", "::ffff:203.0.113.7", false, true},
                    AddressCase{"ipv6TwoGaps", "2001::db8::1", false, false},
                    AddressCase{"ipv6TripleColon", "2001:::1", false, false},
                    AddressCase{"ipv6NineGroups", "1:2:3:4:5:6:7:8:9", false, false},
                    AddressCase{"ipv6SevenGroups", "1:2:3:4:5:6:7", false, false},
                    AddressCase{"ipv6GapWithEightGroups", "1:2:3:4::5:6:7:8", false, false},
                    AddressCase{"ipv6LongGroup", "2001:db8::12345", false, false},
                    AddressCase{"ipv6NotHex", "2001:db8::g", false, false},
                    AddressCase{"ipv6Zone", "fe80::1%eth0", false, false},
                    AddressCase{"ipv6Ipv4NotLast", "::203.0.113.7:1", false, false},
                    AddressCase{"empty", "", false, false}),
    paramName<AddressCase>);

struct FailureCase
{
    std::string name;
    RequestOutcome outcome;
    std::string reason; // after "Grund: "
};

class FailureReason : public testing::TestWithParam<FailureCase>
{
};

TEST_P(FailureReason, SaysWhyInGerman)
{
    Calendar c;
    StatusReport report;
    report.attemptEnded(GetParam().outcome, c.clock.at(2026, 12, 9, 18, 30),
                        c.clock.at(2026, 12, 9, 18, 31));
    EXPECT_EQ(
        report.text(UpdateStatus(GetParam().outcome), "", c.clock),
        "Aktualisierung fehlgeschlagen: heute 18:30\nGrund: " + GetParam().reason +
            "\nNächster Versuch: heute 18:31\nSeit dem Programmstart noch nicht erfolgreich.");
}

std::string refused(const std::string &word, const std::string &meaning)
{
    return "Vom Dienst abgelehnt („" + word + "“). " + meaning;
}

INSTANTIATE_TEST_SUITE_P(
    StatusReport, FailureReason,
    testing::Values(
        FailureCase{"noConnection", {Failure::NetworkUnavailable}, "Netzwerk nicht erreichbar."},
        FailureCase{"refusedConnection", {Failure::ConnectionRefused}, "Verbindung abgelehnt."},
        FailureCase{"hostNotFound", {Failure::HostNotFound}, "Server nicht gefunden."},
        FailureCase{"timeout", {Failure::ConnectionTimedOut}, "Zeitüberschreitung der Verbindung."},
        FailureCase{
            "deadline", {Failure::Deadline, 0, "", 2500}, "Keine Antwort innerhalb von 2,5 s."},
        FailureCase{
            "httpStatus", {Failure::HttpStatus, 503}, "Der Dienst antwortete mit HTTP-Status 503."},
        FailureCase{"tooLarge", {Failure::TooLarge}, "Antwort zu groß."},
        FailureCase{"broken", {Failure::Broken}, "Ungültige Antwort vom Server."},
        FailureCase{"refusedWithoutWord", {Failure::Refused}, "Vom Dienst abgelehnt."},
        FailureCase{"badauth", answered("badauth"),
                    refused("badauth", "Der Dienst hat den Schlüssel nicht angenommen. Bitte den "
                                       "Schlüssel prüfen und neu eingeben.")},
        FailureCase{"donator", answered("!donator"),
                    refused("!donator", "Diese Funktion bietet der Dienst nur mit einem "
                                        "bezahlten Konto an.")},
        FailureCase{"notfqdn", answered("notfqdn"),
                    refused("notfqdn", "Der Rechnername ist nicht vollständig angegeben.")},
        FailureCase{"nohost", answered("nohost"),
                    refused("nohost", "Diesen Rechnernamen gibt es im Konto nicht.")},
        FailureCase{"numhost", answered("numhost"),
                    refused("numhost", "Zu viele Rechnernamen in einer Anfrage.")},
        FailureCase{"abuse", answered("abuse"),
                    refused("abuse", "Der Rechnername ist wegen zu vieler Anfragen gesperrt.")},
        FailureCase{"badagent", answered("badagent"),
                    refused("badagent", "Der Dienst nimmt Anfragen dieses Programms nicht an.")},
        FailureCase{"dnserr", answered("dnserr"),
                    refused("dnserr", "Der Dienst hat eine Störung bei seinen Namensservern.")},
        FailureCase{"emergency", answered("911"),
                    refused("911", "Der Dienst hat eine Störung oder wird gewartet; später "
                                   "erneut versuchen.")},
        FailureCase{"koAnyCase", answered("KO"),
                    refused("KO", "Der Dienst hat die Aktualisierung abgelehnt.")}),
    paramName<FailureCase>);

// The failure's other lines: when it last worked, when the next attempt comes,
// and the service's own text below.
TEST(StatusReportFailure, SaysWhenItLastWorkedAndKeepsTheAnswerBelow)
{
    Calendar c;
    StatusReport report;
    report.attemptEnded(answered("good 203.0.113.7"), c.clock.at(2026, 12, 8, 23, 10), {});
    c.clock.now = c.clock.at(2026, 12, 9, 23, 59);
    report.attemptEnded(answered("badauth"), c.clock.now, c.clock.at(2026, 12, 10, 0, 4));
    EXPECT_EQ(report.text(UpdateStatus(answered("badauth")), "badauth", c.clock),
              "Aktualisierung fehlgeschlagen: heute 23:59\nGrund: " +
                  refused("badauth", "Der Dienst hat den Schlüssel nicht angenommen. Bitte den "
                                     "Schlüssel prüfen und neu eingeben.") +
                  "\nNächster Versuch: morgen 00:04\nZuletzt erfolgreich: gestern 23:10\n\n"
                  "badauth");
    // Before any outcome, and for a status that is no outcome's, the area says no more.
    EXPECT_EQ(StatusReport().text(UpdateStatus(), "", c.clock), "");
    EXPECT_EQ(report.text(UpdateStatus(UpdateStatus::Reason::NoKey), "", c.clock),
              UpdateStatus(UpdateStatus::Reason::NoKey).message());
}

} // namespace
