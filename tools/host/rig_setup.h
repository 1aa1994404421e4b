#pragma once
// Applies a rig profile to the loaded library: everything the engine takes
// before its thread starts, checked call by call.
#include <vector>

#include "library_api.h"
#include "rig_profile.h"

namespace kinevra_host {

// Installs filter chains, active channels, belt mix, limits, motion cancel
// and the fan port. Refusals (a filter text that does not compile, a missing
// export) go to errors, located at the profile line that asked for them; a
// fan port the system lacks goes to warnings. True when nothing was refused.
bool configureEngine(const LibraryApi& api, const RigProfile& profile, std::vector<ProfileMessage>& errors,
                     std::vector<ProfileMessage>& warnings);

// Settings the thread start resets (the pacing), applied after it.
void configureAfterStart(const LibraryApi& api, const RigProfile& profile);

}  // namespace kinevra_host
