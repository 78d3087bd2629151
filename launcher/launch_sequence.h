// The launch routine: one pass of fixed steps from config.ini to the ended child process.
#pragma once

#include <string>

namespace launcher {

// Module-level values, created in this order before the launch and destroyed in reverse.
extern std::string JreKeyPath;
extern const std::string JreKeyBase;
extern std::string JavaVersion;

// Runs the launch; always returns 0. A RegistryError or an exhaustion of memory leaves it
// at once and is for the entry point to handle.
int RunLaunchSequence();

}  // namespace launcher
