#include "update/FailureNotice.h"
#include "update/RetrySchedule.h"
#include "update/UpdateEngine.h"
#include "update/UpdateStatus.h"

#include "FakeEngineParts.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the engine reports about updating in each situation, and when the tray
// is to tell of it.
namespace {

const std::string Url = "http://127.0.0.1:9/the-key";
using Reason = UpdateStatus::Reason;

struct Engine
{
    DrivenClock clock;
    RecordingWakeTimer timer;
    FakeRequestChannel channel{clock};
    RecordingUpdateListener listener;
    UpdateEngine engine{clock, timer, channel, listener};

    void load(const std::string &url, const std::string &interval)
    {
        engine.setUpdateUrl(url);
        engine.intervalChanged(interval);
        engine.start();
    }
    void tick(int times)
    {
        for (int i = 0; i < times; ++i) {
            clock.ms += UpdateEngine::TickMs;
            engine.tick();
        }
    }
};

using Failure = RequestOutcome::Failure;
const RequestOutcome Http500{Failure::HttpStatus, 500};
const RequestOutcome Succeeded{Failure::None, 200};

struct StatusCase
{
    std::string name;
    std::string url;
    std::string interval;
    std::vector<RequestOutcome> outcomes;
    Reason reason;
    std::string detail;
};

class EngineStatus : public testing::TestWithParam<StatusCase>
{
};

TEST_P(EngineStatus, SaysWhyNothingIsUpdated)
{
    Engine e;
    e.load(GetParam().url, GetParam().interval);
    for (const RequestOutcome &outcome : GetParam().outcomes)
        e.engine.requestFinished(outcome);
    const UpdateStatus expected = GetParam().reason == Reason::RequestFailed
                                      ? UpdateStatus(Http500)
                                      : UpdateStatus(GetParam().reason, GetParam().detail);
    EXPECT_EQ(e.engine.status(), expected);
    ASSERT_FALSE(e.listener.statuses.empty());
    EXPECT_EQ(e.listener.statuses.back(), expected);
    EXPECT_EQ(e.engine.health(),
              GetParam().reason == Reason::Working ? UpdateHealth::Good : UpdateHealth::Failing);
    // A regular sync shows the same picture.
    if (GetParam().reason != Reason::IntervalPaused) {
        e.engine.intervalChanged("0.5");
        e.tick(31);
        EXPECT_EQ(e.listener.syncs, 1);
        EXPECT_EQ(e.listener.health, e.engine.health());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Situations, EngineStatus,
    testing::Values(StatusCase{"working", Url, "5", {Succeeded}, Reason::Working, ""},
                    StatusCase{"noAnswerYet", Url, "5", {}, Reason::Working, ""},
                    StatusCase{"noKey", "", "5", {}, Reason::NoKey, ""},
                    StatusCase{"ftpUrl", "ftp://x/y", "5", {}, Reason::UrlRefused, ""},
                    StatusCase{"notAUrl", "the-key", "5", {}, Reason::UrlRefused, ""},
                    StatusCase{"letters", Url, "x", {Succeeded}, Reason::IntervalPaused, "x"},
                    StatusCase{"zero", Url, "0", {}, Reason::IntervalPaused, "0"},
                    StatusCase{"emptyInterval", Url, "", {}, Reason::IntervalPaused, ""},
                    StatusCase{"http500", Url, "5", {Http500}, Reason::RequestFailed, ""},
                    StatusCase{"recovered", Url, "5", {Http500, Succeeded}, Reason::Working, ""},
                    StatusCase{"noKeyOverFailure", "", "5", {Http500}, Reason::NoKey, ""}),
    paramName<StatusCase>);

// Fixing the interval or applying a URL turns the status at once, with one report each.
TEST(EngineStatusChange, FollowsTheIntervalAndTheUrlAtOnce)
{
    Engine e;
    e.load(Url, "5");
    e.listener.statuses.clear();
    e.engine.intervalChanged("abc");
    e.engine.intervalChanged("abc");
    e.engine.intervalChanged("5");
    e.engine.replaceUrl("ftp://x/y");
    e.engine.replaceUrl(Url);
    const std::vector<UpdateStatus> expected{UpdateStatus(Reason::IntervalPaused, "abc"),
                                             UpdateStatus(), UpdateStatus(Reason::UrlRefused),
                                             UpdateStatus()};
    EXPECT_EQ(e.listener.statuses, expected);
}

struct NoticeCase
{
    std::string name;
    std::string attempts; // F failed, S succeeded
    std::vector<FailureNotice::Notice> notices;
};

class Notices : public testing::TestWithParam<NoticeCase>
{
};

constexpr auto Failing = FailureNotice::Notice::Failing;
constexpr auto Again = FailureNotice::Notice::WorkingAgain;

// Once per turn, after two failures in a row, never once per retry.
TEST_P(Notices, OncePerTurn)
{
    Engine e;
    e.load(Url, "5");
    std::vector<std::string> expected;
    for (FailureNotice::Notice notice : GetParam().notices)
        expected.push_back(FailureNotice::title(notice));
    for (char attempt : GetParam().attempts)
        e.engine.requestFinished(attempt == 'F' ? RequestOutcome{Failure::ConnectionRefused}
                                                : Succeeded);
    EXPECT_EQ(e.listener.notices, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, Notices,
    testing::Values(NoticeCase{"oneFailure", "F", {}}, NoticeCase{"twoFailures", "FF", {Failing}},
                    NoticeCase{"manyRetries", "FFFFFF", {Failing}},
                    NoticeCase{"recovery", "FFSS", {Failing, Again}},
                    NoticeCase{"blips", "FSFSFS", {}},
                    NoticeCase{"twice", "FFSFFFS", {Failing, Again, Failing, Again}}),
    paramName<NoticeCase>);

// A URL the channel refuses brings no outcome: each request is a failed attempt.
TEST(NoticesWithoutOutcome, RefusedUrlIsToldOnceAfterTwoSyncs)
{
    Engine e;
    e.load("ftp://x/y", "0.5");
    EXPECT_TRUE(e.listener.notices.empty());
    e.tick(31);
    ASSERT_EQ(e.listener.notices, std::vector<std::string>{FailureNotice::title(Failing)});
    e.tick(31 * 5);
    EXPECT_EQ(e.listener.notices.size(), 1u);
}

// The next attempt the area names: the retry after a failure, else the next sync
// (on the tick after the count runs out).
TEST(EngineNextAttempt, IsTheRetryOrTheNextSync)
{
    Engine e;
    e.load(Url, "5");
    e.tick(10);
    e.engine.requestFinished(Http500);
    e.engine.requestFinished(Succeeded);
    const std::vector<std::optional<std::int64_t>> expected{
        RetrySchedule::RetryDelaysMs[0], (5 * 60 + 1 - 10) * UpdateEngine::TickMs};
    EXPECT_EQ(e.listener.nextAttemptsInMs, expected);
}

// Texts for the answer area and the notices: German, chosen by the reason's
// type, never the URL nor an English text.
TEST(StatusTexts, NameTheReasonAndNotTheUrl)
{
    EXPECT_EQ(UpdateStatus().message(), "");
    EXPECT_EQ(UpdateStatus(Reason::IntervalPaused, "abc").message(),
              "Sync-Intervall „abc“ ist nicht verwendbar; es wird nichts aktualisiert.");
    EXPECT_EQ(UpdateStatus({Failure::Deadline, 0, "", 30000}).message(),
              "Die Aktualisierung ist fehlgeschlagen: keine Antwort innerhalb von 30 s.");
    EXPECT_EQ(UpdateStatus({Failure::Refused, 200, "badauth"}).message(),
              "Die Aktualisierung ist fehlgeschlagen: vom Dienst abgelehnt („badauth“). Der Dienst "
              "hat den Schlüssel nicht angenommen. Bitte den Schlüssel prüfen und neu eingeben.");
    EXPECT_EQ(FailureNotice::text(Failing, UpdateStatus(Reason::UrlRefused)),
              UpdateStatus(Reason::UrlRefused).message());
    for (int f = int(Failure::ConnectionRefused); f <= int(Failure::UrlNotFit); ++f) {
        const RequestOutcome outcome{Failure(f), 503, "", 12029};
        const std::string message = UpdateStatus(outcome).message();
        EXPECT_FALSE(outcome.logText().empty()) << f;
        EXPECT_GT(message.size(), UpdateStatus(RequestOutcome()).message().size()) << f;
        EXPECT_EQ(message.find(outcome.logText()), std::string::npos) << message;
    }
}

} // namespace
