// Stand-in for the profile verbs until their own file is in the tree, so the
// rest of orvctl builds and is tested; it goes when profile_verbs.cpp comes.
#include "profile_verbs.h"

namespace orv::ctl {

int RunProfileVerb(const std::vector<std::string>&, IServiceHooks&, std::ostream&,
                   std::ostream& err) {
    err << "orvctl profile: not available in this build\n";
    return kExitFailed;
}

int RunKeysVerb(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "orvctl keys: not available in this build\n";
    return kExitFailed;
}

const char* ProfileUsage() {
    return "  orvctl profile ...                   (not available in this build)\n";
}

} // namespace orv::ctl
