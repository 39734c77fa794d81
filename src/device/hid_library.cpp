#include "device/hid_library.h"

namespace orv {

namespace {
CAbsentHidLibrary g_absentLibrary;
IHidLibrary* g_pHidLibrary = nullptr;
} // namespace

IHidLibrary& HidLibrary() {
    return g_pHidLibrary != nullptr ? *g_pHidLibrary : g_absentLibrary;
}

void InstallHidLibrary(IHidLibrary* library) {
    g_pHidLibrary = library;
}

} // namespace orv
