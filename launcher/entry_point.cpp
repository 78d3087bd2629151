// The process's entry point: runs the launch once. A failure that abandons the launch never
// returns here; it ends the process through the abnormal-termination box.
#include "launcher/failure_reporting.h"
#include "launcher/launch_sequence.h"
#include "platform/platform.h"

#if defined(_WIN32)
#define KELMORA_WINAPI __stdcall
#else
#define KELMORA_WINAPI
#endif

struct HINSTANCE__;  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the Windows name

// Neither the instance, the command-line tail nor the show request is used: the launcher's
// own arguments are never passed on to the Java application.
extern "C" int KELMORA_WINAPI WinMain(HINSTANCE__* /*instance*/, HINSTANCE__* /*previous*/,
                                      char* /*commandLine*/, int /*showCommand*/) {
    platform::RestrictDllSearchToSystem();
    launcher::FailureReporter reporter = launcher::FailureReporter::ForThisProcess();
    return launcher::RunLaunchSequence(reporter);
}
