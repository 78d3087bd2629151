// The launch routine: one pass of fixed steps from config.ini to the ended child process.
#pragma once

#include <string>

namespace launcher {

class FailureReporter;

// Module-level values, created in this order before the launch and destroyed in reverse.
extern std::string JreKeyPath;
extern const std::string JreKeyBase;
extern std::string JavaVersion;

// Runs the launch; always returns 0. A start that fails is reported through `reporter`.
// A RegistryError or an exhaustion of memory leaves it at once and is for the entry point.
int RunLaunchSequence(FailureReporter& reporter);

}  // namespace launcher
