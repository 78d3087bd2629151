// Test-only: exercises the launcher's Windows platform layer and dialog code directly, for
// what cannot be seen from outside the real KELMORA.exe (the record the task dialog is given,
// the version read), and for the screenshot of the task dialog, which is taken in a prefix
// whose common controls report Wine's own version, below 6.0.
//
//   platform_check config   prints the TASKDIALOGCONFIG that the command-line dialog is given
//   platform_check task     shows the command-line dialog as a task dialog (CHECK_TEXT)
//   platform_check version  reads the common-controls version through version.dll
#include <cstdio>
#include <cwchar>
#include <string>

#include "launcher/failure_reporting.h"
#include "platform/win32/win32.h"

namespace {

std::wstring CheckText() {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(L"CHECK_TEXT", buffer, 32768);
    return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring(L"C:\\App\\java\\bin\\javaw.exe");
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

int PrintConfig() {
    launcher::FailureReporter reporter(platform::ModuleFileNameWide(), 10);
    const auto owner = reinterpret_cast<platform::WindowHandle>(0x1234);
    platform::win32::TaskDialogConfig holder;
    platform::win32::FillTaskDialogConfig(reporter.CommandLineTaskDialog(owner, L"the command line"), holder);
    const TASKDIALOGCONFIG& c = holder.config;
    std::printf("{\"cbSize\": %u, \"hwndParent\": %u, \"hInstance\": %u, \"dwFlags\": %u, "
                "\"dwCommonButtons\": %u, \"pszWindowTitle\": \"%s\", \"pszMainIcon\": %u, "
                "\"pszMainInstruction\": %u, \"pszContent\": \"%s\", \"cButtons\": %u, "
                "\"button0Id\": %d, \"button0Text\": \"%s\", \"nDefaultButton\": %d, "
                "\"cRadioButtons\": %u, \"nDefaultRadioButton\": %d, \"pszVerificationText\": %u, "
                "\"pszExpandedInformation\": %u, \"pszFooter\": %u, \"hasCallback\": %s, "
                "\"lpCallbackData\": %u, \"cxWidth\": %u}\n",
                c.cbSize, static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.hwndParent)),
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.hInstance)), c.dwFlags,
                c.dwCommonButtons, Narrow(c.pszWindowTitle).c_str(),
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.pszMainIcon)),
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.pszMainInstruction)),
                Narrow(c.pszContent).c_str(), c.cButtons, c.pButtons ? c.pButtons[0].nButtonID : -1,
                c.pButtons ? Narrow(c.pButtons[0].pszButtonText).c_str() : "", c.nDefaultButton,
                c.cRadioButtons, c.nDefaultRadioButton,
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.pszVerificationText)),
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.pszExpandedInformation)),
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(c.pszFooter)),
                c.pfCallback ? "true" : "false", static_cast<unsigned>(c.lpCallbackData), c.cxWidth);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const std::wstring mode = argv[1];
    if (mode == L"config") return PrintConfig();
    if (mode == L"version") {
        const auto version = platform::CommonControlsVersion();
        std::printf("{\"readable\": %s, \"versionMS\": %u}\n", version ? "true" : "false",
                    version.value_or(0));
        return 0;
    }
    if (mode == L"task") {
        launcher::FailureReporter reporter(platform::ModuleFileNameWide(), 10);
        reporter.ShowCommandLineDialog(CheckText(), true);
        return 0;
    }
    return 2;
}
