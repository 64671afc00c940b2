// A module that starts one web request on the feedback's detached job thread and
// returns at once, so that a test can unload it while the request runs, as a host
// may unload the plug-in while a feedback message is on its way.

#include "feedback/OrlixFeedback.h"
#include "feedback/OrlixHttp.h"
#include "processor/LiveProcessorCount.h"

#include <string>

using FinishedCallback = void (*)(int outcome, int httpStatus, const char* body);

extern "C" __declspec(dllexport) bool orlixStartRequest(const char* url, FinishedCallback finished)
{
    // Stands in for a live plug-in instance of this module: network work runs only while one is.
    orlix::liveProcessorCount().store(1);
    return orlixfeedback::startDetachedJob(
        [target = std::string(url), finished]
        {
            const auto reply = orlixhttp::postJson(target, "{\"message\":\"hello\"}", {20000, 8000, 65536});
            finished(reply.outcome, reply.httpStatus, reply.body.toRawUTF8());
        });
}
