// HidDevice.dll for real keyboards: the library's logic (hiddevice/hid_engine.h)
// over the Windows HID stack (win_hid_stack.h). Everything the library does
// with the keyboard is decided in the engine; this file only makes the two
// and puts the six exports in front of them.
#include "hiddevice/engine_exports.h"
#include "hiddevice/real/win_hid_stack.h"

#include <memory>
#include <mutex>

namespace {

HMODULE g_module = nullptr;

} // namespace

namespace orv::hid {

// Made on first use and never destroyed: the service does not close the
// library when it ends, so the engine's threads may still run while the
// process exits, and nothing must run their destructors then.
HidEngine& DllEngine() {
    static HidEngine* engine = [] {
        IHidStack* stack = MakeWindowsHidStack(g_module).release();
        return new HidEngine(*stack);
    }();
    return *engine;
}

} // namespace orv::hid

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
