#include "launcher/child_process.h"

#include "platform/platform.h"

namespace launcher {

std::string BuildLaunchCommandLine(const std::string& javaExecutablePath,
                                   const std::string& workingDirectory, const std::string& jarName) {
    // With no application name, CreateProcessA splits an unquoted executable path at each blank
    // and tries C:\Program.exe before C:\Program Files\...; and javaw's own argv parser would
    // end argv[0] at the blank too. Quote it exactly when it holds a blank or a tab.
    const bool needsQuotes = javaExecutablePath.find_first_of(" \t") != std::string::npos;
    std::string line;
    line.reserve(javaExecutablePath.size() + workingDirectory.size() + jarName.size() + 24);
    if (needsQuotes) line += '"';
    line += javaExecutablePath;
    if (needsQuotes) line += '"';
    line += " -jar -Xmx768m \"";
    line += workingDirectory;
    line += '\\';
    line += jarName;
    line += '"';
    return line;
}

LaunchOutcome StartChildAndWait(const std::string& commandLine, const std::string& workingDirectory) {
    platform::StartupRecord startup;
    startup.size = 68;     // sizeof(STARTUPINFOA) on 32-bit Windows
    startup.flags = 1;     // STARTF_USESHOWWINDOW: without it wShowWindow is ignored
    startup.showWindow = 0;  // SW_HIDE

    platform::ProcessStart child =
        platform::StartProcess(commandLine, /*inheritHandles=*/true, /*creationFlags=*/0,
                               workingDirectory, startup);
    if (!child.created) return LaunchOutcome{false, child.error};

    platform::WaitUntilEnded(child.process.get());
    child.process.reset();
    child.thread.reset();
    return LaunchOutcome{true, 0};
}

}  // namespace launcher
