#include "update/FailureNotice.h"
#include "update/UpdateEngine.h"
#include "update/UpdateStatus.h"

#include "FakeEngineParts.h"
#include "ParamName.h"

#include <gtest/gtest.h>

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

RequestOutcome failed(const std::string &reason)
{
    return {false, 500, reason};
}
const RequestOutcome Succeeded{true, 200, {}};

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
    const UpdateStatus expected(GetParam().reason, GetParam().detail);
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
    testing::Values(
        StatusCase{"working", Url, "5", {Succeeded}, Reason::Working, ""},
        StatusCase{"noAnswerYet", Url, "5", {}, Reason::Working, ""},
        StatusCase{"noKey", "", "5", {}, Reason::NoKey, ""},
        StatusCase{"ftpUrl", "ftp://x/y", "5", {}, Reason::UrlRefused, ""},
        StatusCase{"notAUrl", "the-key", "5", {}, Reason::UrlRefused, ""},
        StatusCase{"letters", Url, "x", {Succeeded}, Reason::IntervalPaused, "x"},
        StatusCase{"zero", Url, "0", {}, Reason::IntervalPaused, "0"},
        StatusCase{"emptyInterval", Url, "", {}, Reason::IntervalPaused, ""},
        StatusCase{"http500", Url, "5", {failed("HTTP 500")}, Reason::RequestFailed, "HTTP 500"},
        StatusCase{"recovered", Url, "5", {failed("HTTP 500"), Succeeded}, Reason::Working, ""},
        StatusCase{"noKeyOverFailure", "", "5", {failed("HTTP 500")}, Reason::NoKey, ""},
        // A reason holding the key is not shown.
        StatusCase{
            "reasonWithTheKey", Url, "5", {failed("bad /the-key")}, Reason::RequestFailed, ""}),
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
        e.engine.requestFinished(attempt == 'F' ? failed("connection refused") : Succeeded);
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

// Texts for the answer area and the notices: German, never the URL.
TEST(StatusTexts, NameTheReasonAndNotTheUrl)
{
    EXPECT_EQ(UpdateStatus().message(), "");
    EXPECT_EQ(UpdateStatus(Reason::IntervalPaused, "abc").message(),
              "Sync-Intervall „abc“ ist nicht verwendbar; es wird nichts aktualisiert.");
    EXPECT_EQ(UpdateStatus(Reason::RequestFailed, "no answer within 30 s").message(),
              "Die Aktualisierung ist fehlgeschlagen: keine Antwort innerhalb von 30 s.");
    EXPECT_EQ(UpdateStatus(Reason::RequestFailed, "HTTP 503").message(),
              "Die Aktualisierung ist fehlgeschlagen: HTTP 503.");
    EXPECT_EQ(FailureNotice::text(Failing, UpdateStatus(Reason::UrlRefused)),
              UpdateStatus(Reason::UrlRefused).message());
}

} // namespace
