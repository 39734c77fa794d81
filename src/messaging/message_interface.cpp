// The lookup of the configuration program, shared by the main window and
// the device connection.
#include "messaging/message_interface.h"

#include "messaging/messages.h"
#include "platform/platform.h"

namespace orv {

WndHandle FindConfigWindow() {
    WndHandle top = Windows().FindTopLevel(nullptr, kConfigWindowTitle);
    return top == kNoWindow ? kNoWindow : Windows().FindChild(top, kConfigWindowTitle);
}

bool PostToConfigWindow(MsgId msg, WParam wParam, LParam lParam) {
    WndHandle config = FindConfigWindow();
    if (config == kNoWindow)
        return false;
    Windows().PostMsg(config, msg, wParam, lParam);
    return true;
}

} // namespace orv
