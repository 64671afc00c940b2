#include "feedback/OrlixHttp.h"

#include "feedback/FeedbackFixture.h"

#include <future>
#include <thread>

using feedbacktest::Clock;
using feedbacktest::millisecondsSince;
using orlixtest::HttpReply;
using orlixtest::HttpRequest;
using orlixtest::LocalHttpServer;

namespace
{
namespace outcome = orlixhttp::outcome;

// Short enough to keep the suite quick, long enough that no loaded machine
// mistakes a normal local reply for a timeout.
orlixhttp::PostOptions quickOptions(int totalTimeoutMs = 5000)
{
    return {totalTimeoutMs, 8000, 65536};
}

HttpReply replyOfSize(size_t bytes)
{
    return HttpReply::text(200, std::string(bytes, 'x'));
}

using PostJson = feedbacktest::WithLiveInstance;
} // namespace

//==============================================================================
TEST(NetDeadline, IsReachedExactlyAtTheDeadlineCount)
{
    EXPECT_FALSE(orlixhttp::deadlineHasPassed(999, 1000));
    EXPECT_TRUE(orlixhttp::deadlineHasPassed(1000, 1000));
    EXPECT_TRUE(orlixhttp::deadlineHasPassed(1001, 1000));
}

TEST(NetDeadline, StaysCorrectWhenTheCounterWrapsAround)
{
    // A deadline set 100 ms before the 32-bit counter wraps lands on a small count.
    const juce::uint32 start = 0xFFFFFFC0u;
    const juce::uint32 deadline = start + 100u;
    ASSERT_LT(deadline, start);

    EXPECT_FALSE(orlixhttp::deadlineHasPassed(start, deadline));
    EXPECT_FALSE(orlixhttp::deadlineHasPassed(0xFFFFFFFFu, deadline));
    EXPECT_FALSE(orlixhttp::deadlineHasPassed(deadline - 1u, deadline));
    EXPECT_TRUE(orlixhttp::deadlineHasPassed(deadline, deadline));
    EXPECT_TRUE(orlixhttp::deadlineHasPassed(deadline + 5000u, deadline));

    // A deadline just before the wrap, checked just after it, has passed.
    EXPECT_TRUE(orlixhttp::deadlineHasPassed(3u, 0xFFFFFFF0u));
}

//==============================================================================
TEST_F(PostJson, SendsTheBodyAsUtf8JsonPost)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpReply::json(200, "{}"); });
    const auto body = juce::String::fromUTF8("{\"message\": \"Grüße, ∑ ok\"}");

    orlixhttp::postJson(server.url("/v1/orlix/feedback"), body, quickOptions());

    ASSERT_EQ(server.requests().size(), 1u);
    const auto request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/orlix/feedback");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.body, std::string(body.toRawUTF8()));
}

TEST_F(PostJson, CompletedReplyCarriesStatusAndBody)
{
    LocalHttpServer server([](const HttpRequest&)
                           { return HttpReply::json(429, "{\"status\": \"slow down ✋\"}"); });

    const auto response = orlixhttp::postJson(server.url("/any"), "{}", quickOptions());

    EXPECT_EQ(response.outcome, outcome::completed);
    EXPECT_EQ(response.httpStatus, 429);
    EXPECT_EQ(response.body, juce::String::fromUTF8("{\"status\": \"slow down ✋\"}"));
}

TEST_F(PostJson, RedirectIsReportedNotFollowed)
{
    LocalHttpServer server(
        [](const HttpRequest&)
        {
            auto reply = HttpReply::text(302, "moved");
            reply.extraHeaders = "Location: /elsewhere\r\n";
            return reply;
        });

    const auto response = orlixhttp::postJson(server.url("/here"), "{}", quickOptions());

    EXPECT_EQ(response.outcome, outcome::completed);
    EXPECT_EQ(response.httpStatus, 302);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(PostJson, ReplyOfExactlyTheLimitIsAccepted)
{
    LocalHttpServer server([](const HttpRequest&) { return replyOfSize(65536); });

    const auto response = orlixhttp::postJson(server.url("/big"), "{}", quickOptions());

    EXPECT_EQ(response.outcome, outcome::completed);
    EXPECT_EQ(response.body.length(), 65536);
}

TEST_F(PostJson, ReplyOneByteOverTheLimitIsTooLarge)
{
    LocalHttpServer server([](const HttpRequest&) { return replyOfSize(65537); });

    const auto response = orlixhttp::postJson(server.url("/big"), "{}", quickOptions());

    EXPECT_EQ(response.outcome, outcome::tooLarge);
    EXPECT_EQ(response.httpStatus, 200);
    EXPECT_TRUE(response.body.isEmpty());
}

TEST_F(PostJson, ClosedPortIsAConnectFailure)
{
    const auto url = "http://127.0.0.1:" + juce::String(LocalHttpServer::closedPort()) + "/v1/orlix/feedback";
    const auto start = Clock::now();

    const auto response = orlixhttp::postJson(url, "{}", quickOptions());

    EXPECT_EQ(response.outcome, outcome::connectFailed);
    EXPECT_EQ(response.httpStatus, 0);
    EXPECT_TRUE(response.body.isEmpty());
    // A refused connection is known at once, long before any timeout.
    EXPECT_LT(millisecondsSince(start), 2000.0);
}

TEST_F(PostJson, SilentServerTimesOutAtTheDeadline)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpReply::silent(); });
    constexpr int deadlineMs = 150;
    const auto start = Clock::now();

    const auto response = orlixhttp::postJson(server.url("/silent"), "{}", quickOptions(deadlineMs));
    const auto elapsed = millisecondsSince(start);

    EXPECT_EQ(response.outcome, outcome::timedOut);
    EXPECT_EQ(response.httpStatus, 0);
    EXPECT_TRUE(response.body.isEmpty());
    // The counter ticks in whole milliseconds. Past the deadline the watchdog
    // cancels within its 25 ms poll, and the stream's blocked wait ends at its
    // own next wake-up, up to about a second later with the curl back end.
    EXPECT_GE(elapsed, deadlineMs - 2.0);
    EXPECT_LT(elapsed, deadlineMs + 1500.0);
}

TEST_F(PostJson, NoLiveInstanceAbortsBeforeAnyRequest)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpReply::json(200, "{}"); });
    closeLastInstance();

    const auto response = orlixhttp::postJson(server.url("/x"), "{}", quickOptions());

    EXPECT_EQ(response.outcome, outcome::aborted);
    EXPECT_EQ(response.httpStatus, 0);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(PostJson, LastInstanceGoingAwayAbortsTheRequest)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpReply::silent(); });
    auto pending =
        std::async(std::launch::async,
                   [&] { return orlixhttp::postJson(server.url("/silent"), "{}", quickOptions(10000)); });
    ASSERT_TRUE(server.waitForRequests(1, 5000));

    const auto closedAt = Clock::now();
    closeLastInstance();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto response = pending.get();

    EXPECT_EQ(response.outcome, outcome::aborted);
    EXPECT_EQ(response.httpStatus, 0);
    // The watchdog cancels within its 25 ms poll (see StreamWatchdog tests);
    // the stream's blocked wait then ends at its own next wake-up, which the
    // curl back end schedules up to about a second ahead.
    EXPECT_LT(millisecondsSince(closedAt), 1500.0);
}

TEST_F(PostJson, ConcurrentRequestsEachGetTheirOwnReply)
{
    LocalHttpServer server([](const HttpRequest& request) { return HttpReply::json(200, request.path); });
    std::vector<std::future<orlixhttp::Response>> pending;
    for (int i = 0; i < 4; ++i)
        pending.push_back(std::async(
            std::launch::async, [&server, i]
            { return orlixhttp::postJson(server.url("/r" + std::to_string(i)), "{}", quickOptions()); }));

    for (int i = 0; i < 4; ++i)
    {
        const auto response = pending[(size_t)i].get();
        EXPECT_EQ(response.outcome, outcome::completed);
        EXPECT_EQ(response.body, "/r" + juce::String(i));
    }
}

//==============================================================================
namespace
{
// A stream blocked in connect() against a server that never answers, with a
// watchdog on it, the way postJson sets them up.
struct GuardedSilentStream
{
    explicit GuardedSilentStream(juce::uint32 deadline)
        : stream(juce::URL(juce::String(server.url("/silent"))).withPOSTData("{}"), true),
          watchdog(stream, deadline)
    {
        watchdog.startThread();
        connecting = std::async(std::launch::async, [this] { return stream.connect(nullptr); });
    }

    ~GuardedSilentStream()
    {
        stream.cancel();
        if (connecting.valid())
            connecting.wait();
        watchdog.stopWatching();
    }

    // Polls the watchdog's reason; how long it took to become non-zero, or -1.
    double millisecondsUntilAborted(Clock::time_point from, int timeoutMs)
    {
        while (millisecondsSince(from) < timeoutMs)
        {
            if (watchdog.abortReason() != orlixhttp::StreamWatchdog::notAborted)
                return millisecondsSince(from);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return -1.0;
    }

    LocalHttpServer server{[](const HttpRequest&) { return HttpReply::silent(); }};
    juce::WebInputStream stream;
    orlixhttp::StreamWatchdog watchdog;
    std::future<bool> connecting;
};

juce::uint32 millisecondsFromNow(juce::uint32 delay)
{
    return juce::Time::getMillisecondCounter() + delay;
}

using StreamWatchdog = feedbacktest::WithLiveInstance;
} // namespace

TEST_F(StreamWatchdog, CancelsWithinItsPollOfTheLastInstanceGoingAway)
{
    GuardedSilentStream guarded(millisecondsFromNow(10000));
    ASSERT_TRUE(guarded.server.waitForRequests(1, 5000));

    const auto closedAt = Clock::now();
    closeLastInstance();
    const auto latency = guarded.millisecondsUntilAborted(closedAt, 2000);

    EXPECT_EQ(guarded.watchdog.abortReason(), orlixhttp::StreamWatchdog::noLiveInstance);
    // One 25 ms poll plus generous room for a loaded machine's scheduling.
    EXPECT_GE(latency, 0.0);
    EXPECT_LT(latency, 250.0);
    ASSERT_EQ(guarded.connecting.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_FALSE(guarded.connecting.get());
}

TEST_F(StreamWatchdog, CancelsWhenTheDeadlinePasses)
{
    constexpr juce::uint32 delayMs = 150;
    const auto start = Clock::now();
    GuardedSilentStream guarded(millisecondsFromNow(delayMs));

    const auto firedAfter = guarded.millisecondsUntilAborted(start, 3000);

    EXPECT_EQ(guarded.watchdog.abortReason(), orlixhttp::StreamWatchdog::deadlinePassed);
    EXPECT_GE(firedAfter, delayMs - 2.0);
    EXPECT_LT(firedAfter, delayMs + 250.0);
    ASSERT_EQ(guarded.connecting.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_FALSE(guarded.connecting.get());
}

TEST_F(StreamWatchdog, StoppedInTimeItLeavesTheStreamAlone)
{
    GuardedSilentStream guarded(millisecondsFromNow(100));
    guarded.watchdog.stopWatching();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));

    EXPECT_EQ(guarded.watchdog.abortReason(), orlixhttp::StreamWatchdog::notAborted);
    EXPECT_EQ(guarded.connecting.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_EQ(guarded.watchdog.getThreadName(), "Orlix_NetWatchdog");
}

//==============================================================================
// The two deadlines are separate: connecting may take the connection timeout,
// the whole request the total. A server that accepts and never answers is a
// timeout of the whole request, not a failure to connect.
TEST_F(PostJson, AcceptedButSilentRunsToTheTotalDeadlineNotTheConnectionTimeout)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpReply::silent(); });
    const auto start = Clock::now();

    const auto response = orlixhttp::postJson(server.url("/silent"), "{}", {1500, 300, 65536});

    EXPECT_EQ(response.outcome, outcome::timedOut);
    EXPECT_GE(millisecondsSince(start), 1500.0 - 2.0);
    EXPECT_LT(millisecondsSince(start), 1500.0 + 1500.0);
}

TEST_F(PostJson, ConnectionThatNeverOpensFailsAtTheConnectionTimeout)
{
    orlixtest::UnansweredPort unanswered;
    const auto start = Clock::now();

    const auto response = orlixhttp::postJson(unanswered.url("/x"), "{}", {5000, 300, 65536});

    EXPECT_EQ(response.outcome, outcome::connectFailed);
    EXPECT_EQ(response.httpStatus, 0);
    EXPECT_GE(millisecondsSince(start), 300.0 - 2.0);
    EXPECT_LT(millisecondsSince(start), 300.0 + 1500.0);
}

// The settings a real request uses, with their real waiting times (about 20 s).
TEST_F(PostJson, SlowRealTimingsSilentServerTimesOutAfter20sUnansweredConnectFailsAfter8s)
{
    LocalHttpServer silent([](const HttpRequest&) { return HttpReply::silent(); });
    orlixtest::UnansweredPort unanswered;
    const orlixhttp::PostOptions real{20000, 8000, 65536};

    struct Timed
    {
        orlixhttp::Response response;
        double milliseconds;
    };
    auto timedPost = [&](const std::string& url)
    {
        const auto start = Clock::now();
        auto response = orlixhttp::postJson(url, "{}", real);
        return Timed{response, millisecondsSince(start)};
    };
    auto toSilent = std::async(std::launch::async, timedPost, silent.url("/v1/orlix/feedback"));
    auto toUnanswered = std::async(std::launch::async, timedPost, unanswered.url("/v1/orlix/feedback"));

    const auto connectFailed = toUnanswered.get();
    EXPECT_EQ(connectFailed.response.outcome, outcome::connectFailed);
    EXPECT_GE(connectFailed.milliseconds, 8000.0 - 2.0);
    EXPECT_LT(connectFailed.milliseconds, 8000.0 + 1500.0);

    const auto timedOut = toSilent.get();
    EXPECT_EQ(timedOut.response.outcome, outcome::timedOut);
    EXPECT_GE(timedOut.milliseconds, 20000.0 - 2.0);
    EXPECT_LT(timedOut.milliseconds, 20000.0 + 1500.0);
}
