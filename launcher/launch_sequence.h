// The launch routine: one pass of fixed steps from config.ini to the ended child process.
#pragma once

namespace launcher {

class FailureReporter;

// Runs the launch; always returns 0. A start that fails is reported through `reporter`.
// A registry value that cannot be used, or memory running out, never comes back here: it ends
// the process through the abnormal-termination box.
int RunLaunchSequence(FailureReporter& reporter);

}  // namespace launcher
