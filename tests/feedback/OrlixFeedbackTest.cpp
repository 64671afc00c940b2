#include "feedback/OrlixFeedback.h"

#include "feedback/FeedbackFixture.h"
#include "support/SmallStack.h"

#include <juce_events/juce_events.h>

#include <future>
#include <optional>
#include <thread>

#if JUCE_LINUX
#include <dlfcn.h>
#include <link.h>
#endif

using feedbacktest::Clock;
using feedbacktest::millisecondsSince;
using orlixfeedback::Result;
using orlixtest::HttpReply;
using orlixtest::HttpRequest;
using orlixtest::LocalHttpServer;

namespace
{
juce::var parseObject(const juce::String& json)
{
    auto parsed = juce::JSON::parse(json);
    EXPECT_TRUE(parsed.isObject()) << json;
    return parsed;
}

juce::StringArray memberNames(const juce::var& object)
{
    juce::StringArray names;
    if (auto* dynamic = object.getDynamicObject())
        for (const auto& member : dynamic->getProperties())
            names.add(member.name.toString());
    return names;
}

// Gathers what the completion receives; runs on the message thread only.
struct CompletionLog
{
    int calls = 0;
    Result last;
    bool onMessageThread = false;
};

// Records calls into the log and holds a token that lives exactly as long as
// some copy of the completion does.
orlixfeedback::Completion loggingCompletion(std::shared_ptr<CompletionLog> log,
                                            std::shared_ptr<int> token = std::make_shared<int>(0))
{
    return [log, token](const Result& result)
    {
        ++log->calls;
        log->last = result;
        log->onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
    };
}

void pumpMessagesFor(int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

bool pumpMessagesUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto start = Clock::now();
    while (!done())
    {
        if (millisecondsSince(start) > timeoutMs)
            return false;
        pumpMessagesFor(5);
    }
    return true;
}

bool waitUntilExpired(const std::weak_ptr<int>& token, int timeoutMs)
{
    const auto start = Clock::now();
    while (!token.expired())
    {
        if (millisecondsSince(start) > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class SendFeedback : public feedbacktest::WithLiveInstance
{
protected:
    // Sends through the whole path (job thread, HTTP, posted completion) to a
    // local server answering every request with one reply.
    Result sendAndWait(const HttpReply& reply, const juce::String& message = "Knee is great")
    {
        server = std::make_unique<LocalHttpServer>([reply](const HttpRequest&) { return reply; });
        return sendAndWait(endpointOf(*server), message);
    }

    Result sendAndWait(const orlixfeedback::Endpoint& endpoint, const juce::String& message = "Knee is great")
    {
        auto log = std::make_shared<CompletionLog>();
        orlixfeedback::sendFeedback("bug", message, loggingCompletion(log), endpoint);
        EXPECT_TRUE(pumpMessagesUntil([&] { return log->calls > 0; }, 5000)) << "no completion";
        EXPECT_TRUE(log->onMessageThread);
        return log->last;
    }

    static orlixfeedback::Endpoint endpointOf(const LocalHttpServer& server, int totalTimeoutMs = 20000)
    {
        return {server.url("/v1/orlix/feedback"), {totalTimeoutMs, 8000, 65536}};
    }

    std::unique_ptr<LocalHttpServer> server;
};

using FeedbackDelivery = feedbacktest::WithLiveInstance;
using DetachedJob = feedbacktest::WithLiveInstance;
} // namespace

//==============================================================================
TEST(FeedbackJson, HoldsTheSixMembersInOrderOnOneLine)
{
    const auto json = orlixfeedback::buildFeedbackJson("feature", "More knee", "Some Host");

    EXPECT_FALSE(json.containsAnyOf("\r\n"));
    const auto object = parseObject(json);
    EXPECT_EQ(memberNames(object), juce::StringArray({"category", "message", "plugin_name", "plugin_version",
                                                      "os_name", "daw_name"}));
    EXPECT_EQ(object["category"].toString(), "feature");
    EXPECT_EQ(object["message"].toString(), "More knee");
    EXPECT_EQ(object["plugin_name"].toString(), "Orlix");
    EXPECT_EQ(object["plugin_version"].toString(), "1.0.1");
    EXPECT_EQ(object["os_name"].toString(),
              orlixfeedback::operatingSystemName(juce::SystemStats::getOperatingSystemType()));
    EXPECT_EQ(object["daw_name"].toString(), "Some Host");
}

TEST(FeedbackJson, CutsMessageAndHostToTheirFirstCharactersNotBytes)
{
    // Two-byte and three-byte characters: a cut by bytes would keep too few.
    juce::String message, host;
    for (int i = 0; i < 5000; ++i)
        message << juce::String::charToString(i % 2 == 0 ? juce::juce_wchar(0xE4) : juce::juce_wchar(0x2211));
    for (int i = 0; i < 100; ++i)
        host << juce::String::charToString(juce::juce_wchar('a' + i % 26));

    const auto object = parseObject(orlixfeedback::buildFeedbackJson("other", message, host));

    EXPECT_EQ(object["message"].toString(), message.substring(0, 4000));
    EXPECT_EQ(object["message"].toString().length(), 4000);
    EXPECT_EQ(object["daw_name"].toString(), host.substring(0, 64));
}

TEST(FeedbackJson, NamesOnlyKnownWindowsVersions)
{
    using S = juce::SystemStats;
    EXPECT_EQ(orlixfeedback::operatingSystemName(S::Windows8_0), "Windows 8.0");
    EXPECT_EQ(orlixfeedback::operatingSystemName(S::Windows11), "Windows 11");
    for (auto other : {S::Windows, S::Linux, S::MacOSX, S::UnknownOS})
        EXPECT_EQ(orlixfeedback::operatingSystemName(other), "Unknown OS");
}

//==============================================================================
TEST(FeedbackEndpoint, IsTheServicePathOverHttpsOnARestoredHostName)
{
    const auto endpoint = orlixfeedback::defaultEndpoint();
    const auto& url = endpoint.url;

    ASSERT_TRUE(url.startsWith("https://"));
    ASSERT_TRUE(url.endsWith("/v1/orlix/feedback"));
    const auto host =
        url.fromFirstOccurrenceOf("https://", false, false).upToFirstOccurrenceOf("/", false, false);
    EXPECT_TRUE(host.containsChar('.'));
    EXPECT_TRUE(host.containsOnly("abcdefghijklmnopqrstuvwxyz0123456789.-")) << host;
    EXPECT_FALSE(host.startsWithChar('.') || host.endsWithChar('.'));

    EXPECT_EQ(endpoint.options.totalTimeoutMs, 20000);
    EXPECT_EQ(endpoint.options.connectTimeoutMs, 8000);
    EXPECT_EQ(endpoint.options.maxResponseBytes, 65536);
}

//==============================================================================
TEST(FeedbackResult, TransportFailuresHaveTheirCodes)
{
    using namespace orlixhttp;
    const auto resultOf = [](int outcomeCode, int status, const char* body) {
        return orlixfeedback::resultFromResponse({outcomeCode, status, body});
    };

    EXPECT_EQ(resultOf(outcome::connectFailed, 0, "").message, "network_unreachable");
    for (auto failed : {outcome::tooLarge, outcome::timedOut, outcome::aborted})
    {
        const auto result = resultOf(failed, 200, "");
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "bad_response");
    }
}

TEST(FeedbackResult, EmptyReplyIsBadWhateverItsStatus)
{
    for (int status : {200, 429, 500})
    {
        const auto result = orlixfeedback::resultFromResponse({orlixhttp::outcome::completed, status, ""});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "bad_response");
    }
}

TEST(FeedbackResult, ServiceMessageOrADefaultByStatus)
{
    const auto resultOf = [](const char* body) {
        return orlixfeedback::resultFromResponse({orlixhttp::outcome::completed, 200, body});
    };

    const auto thanked = resultOf(R"({"status": "ok", "message": "thanks"})");
    EXPECT_TRUE(thanked.ok);
    EXPECT_EQ(thanked.message, "thanks");

    const auto emptyMessage = resultOf(R"({"status": "ok", "message": ""})");
    EXPECT_TRUE(emptyMessage.ok);
    EXPECT_EQ(emptyMessage.message, "received");

    const auto notOk = resultOf(R"({"status": "OK"})");
    EXPECT_FALSE(notOk.ok);
    EXPECT_EQ(notOk.message, "error");
}

//==============================================================================
TEST_F(SendFeedback, AcceptedReplyWithoutMessageIsReceived)
{
    const auto result = sendAndWait(HttpReply::json(200, R"({"status":"ok"})"));

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.message, "received");

    const auto requests = server->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/v1/orlix/feedback");
    const auto body = parseObject(juce::String::fromUTF8(requests[0].body.c_str()));
    EXPECT_EQ(body["category"].toString(), "bug");
    EXPECT_EQ(body["message"].toString(), "Knee is great");
}

TEST_F(SendFeedback, FailedStatusWithoutMessageIsError)
{
    const auto result = sendAndWait(HttpReply::json(200, R"({"status":"failed"})"));

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "error");
}

TEST_F(SendFeedback, FailedStatusCarriesTheServiceMessage)
{
    const auto result = sendAndWait(HttpReply::json(200, R"({"status":"failed","message":"rate_limited"})"));

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "rate_limited");
}

TEST_F(SendFeedback, StatusOtherThan200IsReportedWhateverTheBodySays)
{
    const auto result = sendAndWait(HttpReply::json(429, R"({"status":"ok"})"));

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "http_429");
}

TEST_F(SendFeedback, ReplyThatIsNoJsonObjectIsBad)
{
    for (const auto& reply :
         {HttpReply::json(200, R"(["status", "ok"])"), HttpReply::text(200, "status: ok")})
    {
        const auto result = sendAndWait(reply);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "bad_response");
    }
}

TEST_F(SendFeedback, ReplyUpToTheSizeLimitIsReadAndOneByteMoreIsBad)
{
    auto padded = [](size_t size)
    {
        std::string body = R"({"status":"ok"})";
        return HttpReply::json(200, body + std::string(size - body.size(), ' '));
    };

    const auto atLimit = sendAndWait(padded(65536));
    EXPECT_TRUE(atLimit.ok);
    EXPECT_EQ(atLimit.message, "received");

    const auto overLimit = sendAndWait(padded(65537));
    EXPECT_FALSE(overLimit.ok);
    EXPECT_EQ(overLimit.message, "bad_response");
}

TEST_F(SendFeedback, ClosedPortIsNetworkUnreachable)
{
    const auto url = "http://127.0.0.1:" + juce::String(LocalHttpServer::closedPort()) + "/v1/orlix/feedback";

    const auto result = sendAndWait(orlixfeedback::Endpoint{url, {20000, 8000, 65536}});

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "network_unreachable");
}

TEST_F(SendFeedback, SilentServerEndsAsBadResponseAfterTheDeadlineWithoutBlockingTheCaller)
{
    server = std::make_unique<LocalHttpServer>([](const HttpRequest&) { return HttpReply::silent(); });
    constexpr int deadlineMs = 150;
    auto log = std::make_shared<CompletionLog>();
    const auto start = Clock::now();

    orlixfeedback::sendFeedback("feature", "hello", loggingCompletion(log), endpointOf(*server, deadlineMs));
    // Waiting for this server could not end before the deadline.
    EXPECT_LT(millisecondsSince(start), deadlineMs);

    ASSERT_TRUE(pumpMessagesUntil([&] { return log->calls > 0; }, 5000));
    EXPECT_FALSE(log->last.ok);
    EXPECT_EQ(log->last.message, "bad_response");
    // See PostJson.SilentServerTimesOutAtTheDeadline for the allowance.
    EXPECT_GE(millisecondsSince(start), deadlineMs - 2.0);
    EXPECT_LT(millisecondsSince(start), deadlineMs + 1500.0);
}

TEST_F(SendFeedback, LongMessageArrivesAsItsFirst4000Characters)
{
    juce::String message;
    for (int i = 0; i < 5000; ++i)
        message << juce::String::charToString(juce::juce_wchar('A' + i % 26));

    sendAndWait(HttpReply::json(200, R"({"status":"ok"})"), message);

    ASSERT_EQ(server->requests().size(), 1u);
    const auto body = parseObject(juce::String::fromUTF8(server->requests()[0].body.c_str()));
    EXPECT_EQ(body["message"].toString(), message.substring(0, 4000));
}

TEST_F(SendFeedback, LastInstanceGoingAwayMeansNoCompletion)
{
    server = std::make_unique<LocalHttpServer>([](const HttpRequest&) { return HttpReply::silent(); });
    auto log = std::make_shared<CompletionLog>();
    auto token = std::make_shared<int>(0);
    const std::weak_ptr<int> jobHoldsCompletion = token;

    orlixfeedback::sendFeedback("bug", "bye", loggingCompletion(log, std::move(token)), endpointOf(*server));
    ASSERT_TRUE(server->waitForRequests(1, 5000));
    closeLastInstance();

    // The job drops its copy of the completion when it ends; had it posted a
    // result, the queued message would still hold that copy.
    EXPECT_TRUE(waitUntilExpired(jobHoldsCompletion, 3000));

    // Even with an instance back, nothing is delivered.
    instance = std::make_unique<OrlixAudioProcessor>();
    pumpMessagesFor(100);
    EXPECT_EQ(log->calls, 0);
}

TEST_F(SendFeedback, NoInstanceAliveMeansNoRequestAndNoCompletion)
{
    server = std::make_unique<LocalHttpServer>([](const HttpRequest&) { return HttpReply::json(200, "{}"); });
    auto log = std::make_shared<CompletionLog>();
    auto token = std::make_shared<int>(0);
    const std::weak_ptr<int> jobHoldsCompletion = token;
    closeLastInstance();

    orlixfeedback::sendFeedback("bug", "anyone?", loggingCompletion(log, std::move(token)),
                                endpointOf(*server));

    EXPECT_TRUE(waitUntilExpired(jobHoldsCompletion, 3000));
    pumpMessagesFor(50);
    EXPECT_EQ(log->calls, 0);
    EXPECT_TRUE(server->requests().empty());
}

//==============================================================================
TEST_F(FeedbackDelivery, CompletionRunsOnceOnTheMessageThread)
{
    auto log = std::make_shared<CompletionLog>();
    std::thread(
        [&] {
            orlixfeedback::deliverOnMessageThread(loggingCompletion(log), {true, "thanks"});
        })
        .join();

    EXPECT_EQ(log->calls, 0);
    pumpMessagesFor(50);

    EXPECT_EQ(log->calls, 1);
    EXPECT_TRUE(log->onMessageThread);
    EXPECT_TRUE(log->last.ok);
    EXPECT_EQ(log->last.message, "thanks");
}

TEST_F(FeedbackDelivery, NothingRunsWhenNoInstanceIsAliveAtDelivery)
{
    auto log = std::make_shared<CompletionLog>();
    orlixfeedback::deliverOnMessageThread(loggingCompletion(log), {true, "late"});
    closeLastInstance();

    pumpMessagesFor(50);

    EXPECT_EQ(log->calls, 0);
}

TEST_F(FeedbackDelivery, EmptyCompletionIsSkippedAndLaterOnesStillRun)
{
    auto log = std::make_shared<CompletionLog>();
    orlixfeedback::deliverOnMessageThread({}, {false, "nobody"});
    orlixfeedback::deliverOnMessageThread(loggingCompletion(log), {false, "somebody"});

    pumpMessagesFor(50);

    EXPECT_EQ(log->calls, 1);
    EXPECT_EQ(log->last.message, "somebody");
}

//==============================================================================
TEST_F(DetachedJob, RunsTheJobOnAnotherThread)
{
    std::promise<std::thread::id> ranOn;
    auto ran = ranOn.get_future();

    ASSERT_TRUE(orlixfeedback::startDetachedJob([&] { ranOn.set_value(std::this_thread::get_id()); }));

    ASSERT_EQ(ran.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_NE(ran.get(), std::this_thread::get_id());
}

TEST_F(DetachedJob, ExceptionFromTheJobIsSwallowed)
{
    std::promise<void> thrown;
    auto reached = thrown.get_future();

    ASSERT_TRUE(orlixfeedback::startDetachedJob(
        [&]
        {
            thrown.set_value();
            throw std::runtime_error("job failed");
        }));

    // An escaping exception would end the process; a later job still runs.
    ASSERT_EQ(reached.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    std::promise<void> next;
    auto nextRan = next.get_future();
    ASSERT_TRUE(orlixfeedback::startDetachedJob([&] { next.set_value(); }));
    EXPECT_EQ(nextRan.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

#if JUCE_LINUX
namespace
{
// A system library this process has not loaded yet, if any.
std::optional<std::string> unloadedSystemLibrary(std::initializer_list<const char*> candidates)
{
    for (auto* name : candidates)
    {
        if (dlopen(name, RTLD_NOW | RTLD_NOLOAD) != nullptr)
            continue; // loaded already (the probe's own reference is kept; it stays loaded)
        if (auto* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL))
        {
            dlclose(handle);
            return std::string(name);
        }
    }
    return std::nullopt;
}

const void* addressInside(void* handle)
{
    link_map* module = nullptr;
    dlinfo(handle, RTLD_DI_LINKMAP, &module);
    return module != nullptr ? module->l_ld : nullptr;
}

bool isLoaded(const std::string& name)
{
    return dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr;
}
} // namespace

TEST(ModulePinning, PinnedLibraryOutlivesItsLastClose)
{
    const auto control = unloadedSystemLibrary({"libbz2.so.1.0", "liblzma.so.5"});
    const auto pinned = unloadedSystemLibrary({"libutil.so.1", "libexpat.so.1"});
    if (!control || !pinned || *control == *pinned)
        GTEST_SKIP() << "no two unloaded system libraries to try";

    // Without a pin, the last close unloads a library.
    auto* controlHandle = dlopen(control->c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(controlHandle, nullptr);
    dlclose(controlHandle);
    ASSERT_FALSE(isLoaded(*control));

    auto* handle = dlopen(pinned->c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(orlixfeedback::pinModuleContaining(addressInside(handle)));
    dlclose(handle);

    EXPECT_TRUE(isLoaded(*pinned));
}

TEST(ModulePinning, MainProgramNeedsNoPinAndUnknownAddressesFail)
{
    static const char inThisProgram = 0;
    EXPECT_TRUE(orlixfeedback::pinModuleContaining(&inThisProgram));
    EXPECT_FALSE(orlixfeedback::pinModuleContaining(reinterpret_cast<const void*>(std::uintptr_t{16})));
}
#endif

//==============================================================================
namespace
{
// Host threads can have small stacks; the reply is read and judged on one.
Result postAndJudgeOnSmallStack(const LocalHttpServer& server)
{
    const auto url = server.url("/v1/orlix/feedback");
    Result result;
    EXPECT_TRUE(testsupport::runOnSmallStack(
        [&]
        {
            const auto response = orlixhttp::postJson(url, "{}", {5000, 8000, 65536});
            result = orlixfeedback::resultFromResponse(response);
        },
        20000));
    return result;
}

std::string nestedReply(int depth, const std::string& open, const std::string& close)
{
    std::string body = R"({"status":"ok","x":)";
    for (int i = 1; i < depth; ++i)
        body += open;
    body += "0";
    for (int i = 1; i < depth; ++i)
        body += close;
    return body + "}";
}
} // namespace

TEST_F(SendFeedback, DeeplyNestedRepliesAreBadResponsesEvenOnASmallStack)
{
    const std::pair<std::string, const char*> hostile[] = {
        {std::string(20000, '['), "20,000 brackets"},
        {nestedReply(5000, R"({"a":)", "}"), "5,000 objects"},
        {nestedReply(33, "[", "]"), "one level too deep"},
    };
    for (const auto& [body, name] : hostile)
    {
        server = std::make_unique<LocalHttpServer>([body = body](const HttpRequest&)
                                                   { return HttpReply::json(200, body); });
        const auto result = postAndJudgeOnSmallStack(*server);
        EXPECT_FALSE(result.ok) << name;
        EXPECT_EQ(result.message, "bad_response") << name;
    }

    // Thirty-two levels are still a reply, and brackets inside strings are text.
    for (const auto& body :
         {nestedReply(32, "[", "]"), std::string(R"({"status":"ok","message":"[[[[\"[[{{"})")})
    {
        server = std::make_unique<LocalHttpServer>([body](const HttpRequest&)
                                                   { return HttpReply::json(200, body); });
        EXPECT_TRUE(postAndJudgeOnSmallStack(*server).ok) << body;
    }
}
