// The detached thread of a feedback request. The host may unload the plug-in
// module while a request is still under way, so the thread keeps the module's
// code loaded until it has left that code for good.

#include "feedback/OrlixFeedback.h"

#include <memory>
#include <new>

#if JUCE_WINDOWS
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <thread>
#if JUCE_LINUX
#include <link.h>
#endif
#endif

namespace orlixfeedback
{
namespace
{
void runSwallowingExceptions(std::function<void()>& job) noexcept
{
    try
    {
        job();
    }
    catch (...)
    {
        // A failed job only means no completion; it must not end the host.
    }
}
} // namespace

#if JUCE_WINDOWS

namespace
{
struct DetachedJobContext
{
    std::function<void()> job;
    HMODULE module = nullptr;
};

DWORD WINAPI runDetachedJob(LPVOID parameter)
{
    auto* context = static_cast<DetachedJobContext*>(parameter);
    const HMODULE module = context->module;

    runSwallowingExceptions(context->job);
    delete context;

    // Releasing the module and ending the thread in one step: after a plain
    // FreeLibrary the code still to run here could already be unloaded.
    FreeLibraryAndExitThread(module, 0);
}
} // namespace

bool startDetachedJob(std::function<void()> job)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&runDetachedJob), &module))
        return false;

    auto* context = new (std::nothrow) DetachedJobContext{std::move(job), module};
    if (context == nullptr)
    {
        FreeLibrary(module);
        return false;
    }

    const HANDLE thread = CreateThread(nullptr, 0, runDetachedJob, context, 0, nullptr);
    if (thread == nullptr)
    {
        delete context;
        FreeLibrary(module);
        return false;
    }

    CloseHandle(thread);
    return true;
}

#else

// There is no way here to drop a module reference and leave its code in one
// step, so a reference taken for the thread could never be released safely
// from it. Instead the module is made permanent once: later unloads leave its
// code mapped, which costs nothing while the process lives.
bool pinModuleContaining(const void* address)
{
#if JUCE_LINUX
    Dl_info info{};
    link_map* module = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 || module == nullptr)
        return false;

    // The main program is known by an empty name and is never unloaded.
    if (module->l_name == nullptr || module->l_name[0] == '\0')
        return true;

    const char* path = module->l_name;
#else
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return false;

    const char* path = info.dli_fname;
#endif
    // The handle is deliberately kept: the module stays for the process's life.
    return dlopen(path, RTLD_NOLOAD | RTLD_NODELETE | RTLD_NOW) != nullptr;
}

bool startDetachedJob(std::function<void()> job)
{
    static const char anchorInThisModule = 0;
    static const bool pinned = pinModuleContaining(&anchorInThisModule);
    if (!pinned)
        return false;

    try
    {
        std::thread(
            [detachedJob = std::move(job)]() mutable
            {
                runSwallowingExceptions(detachedJob);
                detachedJob = nullptr;
            })
            .detach();
        return true;
    }
    catch (...)
    {
        return false;
    }
}

#endif
} // namespace orlixfeedback
