// What the user is told when the Java application cannot be started, and the box that ends
// the process when the launch is abandoned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace launcher {

std::string LaunchErrorMessage(std::uint32_t launchErrorCode);
// "KELMORA.exe" gives "Kelmora": the file name up to its first full stop, all but the first
// character in lower case.
std::wstring MakeProgramTitle(const std::wstring& modulePath);
// The file name of the module path, extension and case kept: a tail of `modulePath`.
std::string_view AbnormalTerminationCaption(std::string_view modulePath);
// The task dialog needs Windows 6 or later and common controls 6.0 or later; a common-controls
// version that cannot be read counts as new enough.
bool UseTaskDialog(std::uint32_t windowsMajorVersion, std::optional<std::uint32_t> commonControlsVersion);

class FailureReporter {
public:
    // The executable's path and the Windows version are read when the process starts; the
    // title is worked out from that path when a dialog first needs it, so a launch that
    // succeeds never loads the window manager's library at all.
    FailureReporter(std::wstring modulePath, std::uint32_t windowsMajorVersion)
        : modulePath_(std::move(modulePath)), windowsMajorVersion_(windowsMajorVersion) {}

    static FailureReporter ForThisProcess();

    // The error box, then, once it is closed, the command line that could not be started.
    void ReportLaunchFailure(std::uint32_t launchErrorCode, const std::string& launchCommandLine);
    // The second dialog alone, in the form given.
    void ShowCommandLineDialog(const std::wstring& commandLine, bool taskDialog);
    // OK as the one button, no icon, no main instruction; Esc and the close box act as OK.
    platform::TaskDialogRequest CommandLineTaskDialog(platform::WindowHandle owner,
                                                      const std::wstring& commandLine);

    const std::wstring& ProgramTitle();

private:
    platform::WindowHandle DialogOwner();

    std::wstring modulePath_;
    std::optional<std::wstring> programTitle_;
    std::uint32_t windowsMajorVersion_;
    platform::WindowHandle hiddenMainWindow_ = nullptr;
};

// Shows "Abnormal program termination" and ends the process with exit code 3, no clean-up.
// The one road for every failure that abandons the launch, memory running out included.
[[noreturn]] void ReportAbnormalTermination();

}  // namespace launcher
