#include "feedback/OrlixFeedback.h"

#include "feedback/MakerHost.h"
#include "processor/LiveProcessorCount.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_events/juce_events.h>

#include <array>
#include <optional>
#include <string_view>

namespace orlixfeedback
{
namespace
{
constexpr auto feedbackPath = "/v1/orlix/feedback";

//==============================================================================
struct OperatingSystemName
{
    juce::SystemStats::OperatingSystemType type;
    const char* name;
};

constexpr std::array<OperatingSystemName, 8> operatingSystemNames{{
    {juce::SystemStats::Win2000, "Windows 2000"},
    {juce::SystemStats::WinXP, "Windows XP"},
    {juce::SystemStats::WinVista, "Windows Vista"},
    {juce::SystemStats::Windows7, "Windows 7"},
    {juce::SystemStats::Windows8_0, "Windows 8.0"},
    {juce::SystemStats::Windows8_1, "Windows 8.1"},
    {juce::SystemStats::Windows10, "Windows 10"},
    {juce::SystemStats::Windows11, "Windows 11"},
}};

constexpr auto unknownOperatingSystem = "Unknown OS";

//==============================================================================
bool anyInstanceAlive()
{
    return orlix::liveProcessorCount().load() != 0;
}

Result failure(const juce::String& code)
{
    return {false, code};
}

// The framework's JSON reader recurses once per level without a limit, so a
// reply of twenty thousand '[' would exhaust a thread's stack. A real reply is
// one flat object.
constexpr int maxReplyNesting = 32;

bool jsonNestingWithin(const juce::String& text, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    for (auto p = text.getCharPointer(); !p.isEmpty(); ++p)
    {
        const auto c = *p;
        if (inString)
        {
            if (c == '\\')
            {
                ++p;
                if (p.isEmpty())
                    break;
            }
            else if (c == '"')
                inString = false;
        }
        else if (c == '"')
            inString = true;
        else if ((c == '[' || c == '{') && ++depth > maxDepth)
            return false;
        else if (c == ']' || c == '}')
            --depth;
    }
    return true;
}

Result resultFromServiceReply(const juce::var& reply)
{
    const bool accepted = reply.getProperty("status", {}).toString() == "ok";
    auto text = reply.getProperty("message", {}).toString();
    if (text.isEmpty())
        text = accepted ? "received" : "error";
    return {accepted, text};
}

// Delivered on the message thread; owns its own copies of the completion and
// the result, so the job thread shares nothing with the message thread.
class CompletionMessage : public juce::CallbackMessage
{
public:
    CompletionMessage(Completion completionToCall, Result resultToPass)
        : completion(std::move(completionToCall)), result(std::move(resultToPass))
    {
    }

    void messageCallback() override
    {
        if (!anyInstanceAlive() || !completion)
            return;

        auto callOnce = std::move(completion);
        completion = nullptr;
        callOnce(result);
    }

private:
    Completion completion;
    Result result;
};

// Runs on the detached thread. No instance alive means nobody is left to
// tell, and the module may be on its way out: end quietly.
void runFeedbackJob(const juce::String& body, const std::optional<Endpoint>& target, Completion& completion)
{
    if (!anyInstanceAlive())
        return;

    const auto endpoint = target.has_value() ? *target : defaultEndpoint();
    const auto response = orlixhttp::postJson(endpoint.url, body, endpoint.options);

    if (!anyInstanceAlive())
        return;

    deliverOnMessageThread(std::move(completion), resultFromResponse(response));
}

void launchFeedback(const juce::String& category, const juce::String& message, Completion completion,
                    std::optional<Endpoint> target)
{
    const auto body = buildFeedbackJson(category, message, juce::PluginHostType().getHostDescription());

    auto job = [body, target = std::move(target), jobCompletion = completion]() mutable
    { runFeedbackJob(body, target, jobCompletion); };

    if (!startDetachedJob(std::move(job)) && completion)
        completion(failure("network_unreachable"));
}
} // namespace

//==============================================================================
Endpoint defaultEndpoint()
{
    return {"https://" + orlix::makerHost() + feedbackPath, {20000, 8000, 65536}};
}

juce::String operatingSystemName(juce::SystemStats::OperatingSystemType type)
{
    for (const auto& entry : operatingSystemNames)
        if (entry.type == type)
            return entry.name;
    return unknownOperatingSystem;
}

juce::String buildFeedbackJson(const juce::String& category, const juce::String& message,
                               const juce::String& hostDescription)
{
    const auto osName = operatingSystemName(juce::SystemStats::getOperatingSystemType());

    auto* object = new juce::DynamicObject();
    const juce::var json(object);
    object->setProperty("category", category);
    object->setProperty("message", message.substring(0, maxMessageChars));
    object->setProperty("plugin_name", "Orlix");
    object->setProperty("plugin_version",
                        juce::String(JucePlugin_VersionString).substring(0, maxVersionChars));
    object->setProperty("os_name", osName.substring(0, maxNameChars));
    object->setProperty("daw_name", hostDescription.substring(0, maxNameChars));
    return juce::JSON::toString(json, true);
}

Result resultFromResponse(const orlixhttp::Response& response)
{
    if (response.outcome == orlixhttp::outcome::connectFailed)
        return failure("network_unreachable");
    if (response.outcome != orlixhttp::outcome::completed || response.body.isEmpty())
        return failure("bad_response");
    if (response.httpStatus != 200)
        return failure("http_" + juce::String(response.httpStatus));

    // The framework counts arrays as objects too; only a real object will do.
    juce::var reply;
    if (!jsonNestingWithin(response.body, maxReplyNesting) ||
        juce::JSON::parse(response.body, reply).failed() || reply.isArray() ||
        reply.getDynamicObject() == nullptr)
        return failure("bad_response");
    return resultFromServiceReply(reply);
}

void sendFeedback(const juce::String& category, const juce::String& message, Completion completion)
{
    launchFeedback(category, message, std::move(completion), std::nullopt);
}

void sendFeedback(const juce::String& category, const juce::String& message, Completion completion,
                  const Endpoint& endpoint)
{
    launchFeedback(category, message, std::move(completion), endpoint);
}

void deliverOnMessageThread(Completion completion, Result result)
{
    (new CompletionMessage(std::move(completion), std::move(result)))->post();
}
} // namespace orlixfeedback
