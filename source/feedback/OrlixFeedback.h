#pragma once

#include "feedback/OrlixHttp.h"

#include <juce_core/juce_core.h>

#include <functional>

// Sends the user's feedback to the maker's web service on a detached thread
// and brings the outcome back to the message thread.
namespace orlixfeedback
{
struct Result
{
    bool ok = false;
    juce::String message; // the service's message on success, an error code on failure
};

using Completion = std::function<void(const Result&)>;

constexpr int maxMessageChars = 4000;
constexpr int maxVersionChars = 32;
constexpr int maxNameChars = 64;

// Where a request goes and how long it may take.
struct Endpoint
{
    juce::String url;
    orlixhttp::PostOptions options;
};

// The maker's service: the host is kept scrambled in the module and restored
// for each request.
Endpoint defaultEndpoint();

// "os_name" for one of the framework's operating-system types.
juce::String operatingSystemName(juce::SystemStats::OperatingSystemType type);

// The one-line JSON body, members in the service's order.
juce::String buildFeedbackJson(const juce::String& category, const juce::String& message,
                               const juce::String& hostDescription);

// What the dialog is told about one finished request.
Result resultFromResponse(const orlixhttp::Response& response);

// Message thread. Returns at once; the completion runs later on the message
// thread, at most once, and not at all when no plug-in instance is alive by
// then. The overload with an endpoint lets tools and tests aim elsewhere.
void sendFeedback(const juce::String& category, const juce::String& message, Completion completion);
void sendFeedback(const juce::String& category, const juce::String& message, Completion completion,
                  const Endpoint& endpoint);

// Posts the result to the message thread; on delivery the completion runs
// only if it is set and a plug-in instance is still alive.
void deliverOnMessageThread(Completion completion, Result result);

// Runs the job on a new detached thread that keeps this module's code loaded
// while it runs; false when no thread could be started.
bool startDetachedJob(std::function<void()> job);

#if !JUCE_WINDOWS
// Makes the shared object holding this address permanent, so that a host's
// unload can no longer pull its code from under a running thread. True when
// it is pinned or is the main program, which is never unloaded.
bool pinModuleContaining(const void* address);
#endif
} // namespace orlixfeedback
