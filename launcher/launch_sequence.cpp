#include "launcher/launch_sequence.h"

#include <optional>

#include "launcher/child_process.h"
#include "launcher/failure_reporting.h"
#include "launcher/module_values.h"
#include "launcher/runtime_selection.h"
#include "launcher/settings.h"
#include "launcher/text.h"
#include "platform/platform.h"

namespace launcher {

// Definition order is construction order within this unit, and destruction runs in reverse.
std::string JreKeyPath;
// Should this allocation fail, nothing has been done yet and the process ends at once.
const std::string JreKeyBase = "Software\\JavaSoft\\Java Runtime Environment\\";  // NOLINT(cert-err58-cpp)
std::string JavaVersion;

int RunLaunchSequence(FailureReporter& reporter) {
    std::optional<RegistryReader> reader64(std::in_place, kReader64Access);
    reader64->SetRootKey(platform::LocalMachineRoot());
    std::optional<RegistryReader> readerDefault(std::in_place, kReaderDefaultAccess);
    readerDefault->SetRootKey(platform::LocalMachineRoot());

    DirectoryReading workingDirectory = ReadWorkingDirectory();
    const LauncherSettings settings = ReadLauncherSettings(workingDirectory.wide);
    JavaVersion = settings.VERSAO_JAVA;

    std::string javaExecutablePath = workingDirectory.ansi + "\\java\\bin\\javaw.exe";
    std::string javaHomeDirectory;
    if (settings.USAR_JAVAHOME == 1) {
        SelectJavaRuntime(*reader64, *readerDefault, javaHomeDirectory, javaExecutablePath);
    }

    // Read again on purpose: the command line and the child use the directory as it is now.
    workingDirectory = ReadWorkingDirectory();
    // A name of the archive's that the code page cannot hold is looked up in that folder.
    const std::string jarName = ToAnsiPath(settings.NOME_JAR, workingDirectory.wide + L"\\");
    const std::string commandLine =
        BuildLaunchCommandLine(javaExecutablePath, workingDirectory.ansi, jarName);

    reader64->CloseCurrentKey();
    readerDefault->CloseCurrentKey();
    reader64.reset();
    readerDefault.reset();

    platform::ChangeCurrentDirectory(workingDirectory.ansi);
    const LaunchOutcome outcome = StartChildAndWait(commandLine, workingDirectory.ansi);
    if (!outcome.started) reporter.ReportLaunchFailure(outcome.LaunchErrorCode, commandLine);
    return 0;
}

}  // namespace launcher
