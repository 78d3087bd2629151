// The Java application's command line, and the child process that runs it.
#pragma once

#include <cstdint>
#include <string>

namespace launcher {

std::string BuildLaunchCommandLine(const std::string& javaExecutablePath,
                                   const std::string& workingDirectory, const std::string& jarName);

struct LaunchOutcome {
    bool started = false;
    std::uint32_t LaunchErrorCode = 0;  // meaningful only when the child could not be started
};

// Starts the child hidden, in `workingDirectory`, and returns once it has ended.
LaunchOutcome StartChildAndWait(const std::string& commandLine, const std::string& workingDirectory);

}  // namespace launcher
