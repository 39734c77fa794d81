// The profile verbs of orvctl (`orvctl profile ...`, `orvctl keys`): they
// work on the data folder's files through the service's own storage code,
// whether or not the service runs, and ask a running service to take up an
// edit of its current slot.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orv::ctl {

// Exit codes shared by every verb.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,    // the verb was understood but did not succeed
    kExitBadInput = 2,  // an argument was wrong; nothing was written
    kExitNoService = 3, // the verb needs the running service and there is none
};

// What a profile edit asks of the running service.
class IServiceHooks {
public:
    virtual ~IServiceHooks() = default;
    // The service's current slot (0..5), or -1 when no service runs.
    virtual int CurrentSlot() = 0;
    // Reload settings and profiles from disk (nothing written to the keyboard).
    virtual bool Reload() = 0;
    // Write the current slot's key assignments and lighting to the keyboard.
    virtual bool UploadCurrent() = 0;
};

// `args` are the words after "profile" (or after "keys" for RunKeysVerb), in
// UTF-8. Output for people and scripts goes to `out`, one clear line per
// fault to `err`.
int RunProfileVerb(const std::vector<std::string>& args, IServiceHooks& service, std::ostream& out,
                   std::ostream& err);
int RunKeysVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The usage text of `orvctl profile` (for `orvctl --help` and `orvctl profile --help`).
const char* ProfileUsage();

} // namespace orv::ctl
