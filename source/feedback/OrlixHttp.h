#pragma once

#include <juce_core/juce_core.h>

#include <atomic>

// A small blocking HTTP(S) client for one JSON POST under a hard deadline.
// A watchdog thread cancels the stream when the deadline passes or when the
// last plug-in instance goes away, so a request never outlives its welcome.
namespace orlixhttp
{
struct PostOptions
{
    int totalTimeoutMs = 20000;           // connecting and reading, from the start of the request
    int connectTimeoutMs = 8000;          // until the connection is open; 0 or less: no limit of its own
    juce::int64 maxResponseBytes = 65536; // largest reply body accepted
};

namespace outcome
{
constexpr int completed = 0;     // the reply was read to its end before the deadline
constexpr int connectFailed = 1; // no connection, and the watchdog had not fired
constexpr int tooLarge = 2;      // the reply body grew beyond maxResponseBytes
constexpr int timedOut = 3;      // the deadline passed while connecting or reading
constexpr int aborted = 4;       // no plug-in instance alive at the start, or the last one went away
} // namespace outcome

struct Response
{
    int outcome = outcome::connectFailed;
    int httpStatus = 0; // 0 when there was no reply
    juce::String body;  // UTF-8 reply; empty unless the outcome is completed
};

// Blocking; never call it on the message thread. Each call has its own stream
// and watchdog, so several threads may post at once.
Response postJson(const juce::String& url, const juce::String& jsonBody, const PostOptions& options);

// True once the 32-bit millisecond counter has reached the deadline. The
// signed difference keeps the test right when the counter wraps around.
constexpr bool deadlineHasPassed(juce::uint32 now, juce::uint32 deadline) noexcept
{
    return static_cast<juce::int32>(now - deadline) >= 0;
}

// Guards one web stream: cancels it when the deadline passes, when the
// connection is not open by its own deadline, or when no plug-in instance is
// alive, which makes a blocked connect or read return.
class StreamWatchdog : public juce::Thread
{
public:
    enum AbortReason
    {
        notAborted = 0,
        deadlinePassed = 1,
        noLiveInstance = 2,
        connectionDeadlinePassed = 3
    };

    StreamWatchdog(juce::WebInputStream& streamToGuard, juce::uint32 deadlineMs);
    ~StreamWatchdog() override;

    // Also give up when the connection is not open by this counter value.
    // Call before starting the thread.
    void limitConnectingUntil(juce::uint32 connectionDeadlineMs) noexcept;
    // The connection is open: only the overall deadline counts from now on.
    void noteConnectionOpened() noexcept { connected.store(true); }

    void run() override;

    // Signals the loop to exit, wakes it and waits up to stopTimeoutMs.
    void stopWatching();

    // Written once by the watchdog before it cancels the stream.
    int abortReason() const noexcept { return reason.load(); }

    static constexpr int pollIntervalMs = 25;
    static constexpr int stopTimeoutMs = 3000;

private:
    int reasonToAbortNow() const;

    juce::WebInputStream& stream;
    const juce::uint32 deadline;
    juce::uint32 connectionDeadline = 0;
    bool connectionLimited = false;
    std::atomic<bool> connected{false};
    std::atomic<int> reason{notAborted};

    JUCE_DECLARE_NON_COPYABLE(StreamWatchdog)
};
} // namespace orlixhttp
