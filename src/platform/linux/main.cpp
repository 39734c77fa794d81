// Entry point of the Linux service.
#include "app/hid_app.h"
#include "platform/linux/linux_platform.h"

int main() {
    orv::linux_::InstallLinuxPlatform();
    return orv::RunService();
}
