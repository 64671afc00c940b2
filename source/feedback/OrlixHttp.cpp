#include "feedback/OrlixHttp.h"

#include "processor/LiveProcessorCount.h"

#include <algorithm>
#include <memory>

namespace orlixhttp
{
namespace
{
constexpr int readChunkBytes = 1024;
constexpr size_t initialBodyCapacity = 256;

bool anyInstanceAlive()
{
    return orlix::liveProcessorCount().load() != 0;
}

std::unique_ptr<juce::WebInputStream> openPostStream(const juce::String& url, const juce::String& jsonBody)
{
    const juce::MemoryBlock postData(jsonBody.toRawUTF8(), jsonBody.getNumBytesAsUTF8());
    auto stream = std::make_unique<juce::WebInputStream>(juce::URL(url).withPOSTData(postData), true);
    // The watchdog keeps both deadlines. The framework's own timeout is not
    // used: its curl back end applies it to connecting and, as a low-speed
    // abort, to waiting for the reply, so a server that accepts and never
    // answers would fail after the connection timeout as if unreachable.
    stream->withExtraHeaders("Content-Type: application/json")
        .withConnectionTimeout(-1)
        .withNumRedirectsToFollow(0);
    return stream;
}

// Body bytes can only leave through an open connection: the first of them
// tells the watchdog that connecting is over.
class ConnectionSignal : public juce::WebInputStream::Listener
{
public:
    explicit ConnectionSignal(StreamWatchdog& watchdogToTell) : watchdog(watchdogToTell) {}

    bool postDataSendProgress(juce::WebInputStream&, int bytesSent, int) override
    {
        if (bytesSent > 0)
            watchdog.noteConnectionOpened();
        return true;
    }

private:
    StreamWatchdog& watchdog;
};

// Some back ends report a refused or silent connection as an opened stream
// that is already in error and never saw a status line; that is no
// connection either.
bool connectionOpened(juce::WebInputStream& stream, StreamWatchdog& watchdog)
{
    ConnectionSignal signal(watchdog);
    if (!stream.connect(&signal))
        return false;
    watchdog.noteConnectionOpened();
    return !(stream.isError() && stream.getStatusCode() == 0);
}

int outcomeOfAbort(int abortReason, int otherwise)
{
    if (abortReason == StreamWatchdog::deadlinePassed)
        return outcome::timedOut;
    if (abortReason == StreamWatchdog::noLiveInstance)
        return outcome::aborted;
    if (abortReason == StreamWatchdog::connectionDeadlinePassed)
        return outcome::connectFailed;
    return otherwise;
}

// Reads until the stream ends; false as soon as the body outgrows the limit.
bool readBodyWithinLimit(juce::WebInputStream& stream, juce::MemoryOutputStream& body, juce::int64 maxBytes)
{
    char chunk[readChunkBytes];

    while (!stream.isExhausted())
    {
        const int bytesRead = stream.read(chunk, readChunkBytes);
        if (bytesRead <= 0)
            break;

        body.write(chunk, static_cast<size_t>(bytesRead));
        if (static_cast<juce::int64>(body.getDataSize()) > maxBytes)
            return false;
    }
    return true;
}
} // namespace

Response postJson(const juce::String& url, const juce::String& jsonBody, const PostOptions& options)
{
    Response response;
    if (!anyInstanceAlive())
    {
        response.outcome = outcome::aborted;
        return response;
    }

    const auto start = juce::Time::getMillisecondCounter();
    const auto deadline = start + static_cast<juce::uint32>(std::max(0, options.totalTimeoutMs));

    auto stream = openPostStream(url, jsonBody);
    StreamWatchdog watchdog(*stream, deadline);
    if (options.connectTimeoutMs > 0)
        watchdog.limitConnectingUntil(start + static_cast<juce::uint32>(options.connectTimeoutMs));
    watchdog.startThread();

    if (!connectionOpened(*stream, watchdog))
    {
        response.outcome = outcomeOfAbort(watchdog.abortReason(), outcome::connectFailed);
    }
    else
    {
        response.httpStatus = stream->getStatusCode();

        juce::MemoryOutputStream body(initialBodyCapacity);
        if (!readBodyWithinLimit(*stream, body, options.maxResponseBytes))
        {
            response.outcome = outcome::tooLarge;
        }
        else
        {
            response.outcome = outcomeOfAbort(watchdog.abortReason(), outcome::completed);
            if (response.outcome == outcome::completed)
                response.body = juce::String::fromUTF8(static_cast<const char*>(body.getData()),
                                                       static_cast<int>(body.getDataSize()));
        }
    }

    // The watchdog must be gone before the stream it guards.
    watchdog.stopWatching();
    stream.reset();
    return response;
}

//==============================================================================
StreamWatchdog::StreamWatchdog(juce::WebInputStream& streamToGuard, juce::uint32 deadlineMs)
    : juce::Thread("Orlix_NetWatchdog"), stream(streamToGuard), deadline(deadlineMs)
{
}

StreamWatchdog::~StreamWatchdog()
{
    stopWatching();
}

void StreamWatchdog::stopWatching()
{
    signalThreadShouldExit();
    notify();
    stopThread(stopTimeoutMs);
}

void StreamWatchdog::limitConnectingUntil(juce::uint32 connectionDeadlineMs) noexcept
{
    connectionDeadline = connectionDeadlineMs;
    connectionLimited = true;
}

int StreamWatchdog::reasonToAbortNow() const
{
    if (!anyInstanceAlive())
        return noLiveInstance;
    const auto now = juce::Time::getMillisecondCounter();
    if (deadlineHasPassed(now, deadline))
        return deadlinePassed;
    if (connectionLimited && !connected.load() && deadlineHasPassed(now, connectionDeadline))
        return connectionDeadlinePassed;
    return notAborted;
}

void StreamWatchdog::run()
{
    while (!threadShouldExit())
    {
        const int reasonNow = reasonToAbortNow();
        if (reasonNow == notAborted)
        {
            // Waiting on our own event lets stopWatching() wake us at once.
            wait(pollIntervalMs);
            continue;
        }

        reason.store(reasonNow);
        stream.cancel();
        return;
    }
}
} // namespace orlixhttp
