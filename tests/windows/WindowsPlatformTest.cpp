// What only the Windows build does: the detached job's hold on its module, the
// settings file in the roaming application data, and the system's name.

#include "editor/UiSettings.h"
#include "feedback/OrlixFeedback.h"
#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace
{
using namespace std::chrono_literals;

struct JobOutcome
{
    std::atomic<bool> finished{false};
    std::atomic<int> outcome{-1};
    std::atomic<int> status{0};
    std::string body;
};
JobOutcome jobOutcome;

void onJobFinished(int outcome, int status, const char* body)
{
    jobOutcome.body = body;
    jobOutcome.outcome = outcome;
    jobOutcome.status = status;
    jobOutcome.finished = true;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

HMODULE loadedJobModule()
{
    return GetModuleHandleW(juce::File(ORLIX_JOB_MODULE).getFileName().toWideCharPointer());
}

juce::File roamingApplicationData()
{
    PWSTR path = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)))
        return {};
    const juce::File folder{juce::String(path)};
    CoTaskMemFree(path);
    return folder;
}
} // namespace

TEST(WindowsDetachedJob, UnloadingTheModuleMidRequestNeitherCrashesNorCutsTheRequestShort)
{
    orlixtest::LocalHttpServer server(
        [](const orlixtest::HttpRequest&)
        {
            std::this_thread::sleep_for(700ms);
            return orlixtest::HttpReply::json(200, "{\"status\":\"ok\"}");
        });

    HMODULE module = LoadLibraryW(juce::String(ORLIX_JOB_MODULE).toWideCharPointer());
    ASSERT_NE(module, nullptr);
    using Start = bool (*)(const char*, void (*)(int, int, const char*));
    auto start = reinterpret_cast<Start>(reinterpret_cast<void*>(GetProcAddress(module, "orlixStartRequest")));
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(start(server.url("/v1/orlix/feedback").c_str(), &onJobFinished));

    // The host lets the module go while the request is still waiting for its reply.
    FreeLibrary(module);
    EXPECT_NE(loadedJobModule(), nullptr) << "the job's own reference must keep the module loaded";

    ASSERT_TRUE(waitFor([] { return jobOutcome.finished.load(); }, 15s));
    EXPECT_EQ(jobOutcome.outcome.load(), 0);
    EXPECT_EQ(jobOutcome.status.load(), 200);
    EXPECT_EQ(jobOutcome.body, "{\"status\":\"ok\"}");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, "{\"message\":\"hello\"}");

    // Once its thread has left the module's code, the module is unloaded after all.
    EXPECT_TRUE(waitFor([] { return loadedJobModule() == nullptr; }, 5s));
}

TEST(WindowsUiSettings, LiveInTheRoamingApplicationDataUnderTheMakersFolder)
{
    orlix::redirectUiSettings({});
    auto settings = orlix::openUiSettings();
    ASSERT_NE(settings, nullptr);
    const auto expected = roamingApplicationData().getChildFile("HALVANE AUDIO").getChildFile("Orlix.ui.settings");
    EXPECT_EQ(settings->getFile().getFullPathName(), expected.getFullPathName());

    const auto before = orlix::readEditorWidth();
    orlix::writeEditorWidth(1100);
    EXPECT_TRUE(expected.existsAsFile());
    EXPECT_EQ(orlix::readEditorWidth(), 1100);
    orlix::writeEditorWidth(before);
}

// The version as Windows itself reports it, without the compatibility shims of GetVersionEx.
juce::String expectedSystemName()
{
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto getVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof(v);
    if (getVersion == nullptr || getVersion(&v) != 0)
        return "Unknown OS";
    const auto major = v.dwMajorVersion, minor = v.dwMinorVersion;
    if (major == 10)
        return v.dwBuildNumber >= 22000 ? "Windows 11" : "Windows 10";
    if (major == 6)
        return minor == 3 ? "Windows 8.1" : minor == 2 ? "Windows 8.0" : minor == 1 ? "Windows 7" : "Windows Vista";
    if (major == 5)
        return minor == 0 ? "Windows 2000" : "Windows XP";
    return "Unknown OS";
}

TEST(WindowsSystemName, TheRunningSystemIsNamedAsWindowsReportsItself)
{
    const auto name = orlixfeedback::operatingSystemName(juce::SystemStats::getOperatingSystemType());
    EXPECT_EQ(name, expectedSystemName());
    EXPECT_NE(name, "Unknown OS");
}
