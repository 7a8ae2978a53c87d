// The library's entry point. The first process attach keeps the module
// handle, initialises the common controls and registers the window
// classes; nothing is done at detach (ports the application leaves open
// stay open). On POSIX, where a shared object has no entry point, the same
// function runs once when the library is loaded, and first hands the
// module its resources, which a Windows image carries in itself.
#include "services/startup.h"

#include "resources/resources.h"
#include "services/subsystems.h"

#include <commctrl.h>

#ifndef _WIN32
#include <winapi_ext.h>
#endif

#include <atomic>

namespace vorlex {

HINSTANCE libraryInstance = nullptr;

namespace {

std::atomic<bool> initialised{false};

// Each subsystem's own start-up, in this order.
void (*const kSubsystemStarts[])(HINSTANCE) = {startTerminals, startTransfers};

#ifndef _WIN32
void addModuleResources(HINSTANCE instance) {
    for (const resources::Resource &r : resources::libraryResources())
        WapiAddResource(instance, MAKEINTRESOURCEA(r.type), MAKEINTRESOURCEA(r.id), r.bytes.data(),
                        static_cast<DWORD>(r.bytes.size()));
}
#endif

} // namespace
} // namespace vorlex

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    using namespace vorlex;
    if (reason != DLL_PROCESS_ATTACH || initialised.exchange(true)) return TRUE;
    libraryInstance = instance;
#ifndef _WIN32
    addModuleResources(instance);
#endif
    InitCommonControls();
    for (auto start : kSubsystemStarts) start(instance);
    return TRUE;
}

#ifndef _WIN32
namespace {
// The module is the object this code was loaded with: the shared library,
// or the program when it is linked in.
[[maybe_unused]] const BOOL loaded = [] {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&DllMain), &self);
    return DllMain(self, DLL_PROCESS_ATTACH, nullptr);
}();
} // namespace
#endif
