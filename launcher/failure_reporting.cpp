#include "launcher/failure_reporting.h"

#include "launcher/text.h"

namespace launcher {

namespace {

constexpr std::uint32_t kErrorBoxType = 0x10;        // MB_OK | MB_ICONERROR
constexpr std::uint32_t kTerminationBoxType = 0x12010;  // MB_OK | MB_ICONHAND | MB_TASKMODAL | MB_SETFOREGROUND
constexpr std::uint32_t kAllowDialogCancellation = 0x0008;
constexpr int kIdOk = 1;

// Where the termination box reads the executable's path: static, so it needs no heap, and as
// long as any path Windows gives. Placed in .bss by name: MinGW's GCC puts a zero-filled array
// of its own data section into .data, and 32 KB of zeros into the file.
__attribute__((section(".bss"))) char g_modulePath[32768];

}  // namespace

std::string LaunchErrorMessage(std::uint32_t launchErrorCode) {
    // Signed on purpose: codes from 0x80000000 up read as negative numbers.
    return "Erro " + std::to_string(static_cast<std::int32_t>(launchErrorCode)) +
           " ao executar o aplicativo.";
}

std::wstring MakeProgramTitle(const std::wstring& modulePath) {
    const std::size_t slash = modulePath.find_last_of(L'\\');
    std::wstring name = slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
    if (const std::size_t dot = name.find(L'.'); dot != std::wstring::npos) name.resize(dot);
    return platform::LowerCaseAfterFirstCharacter(name);
}

std::string_view AbnormalTerminationCaption(std::string_view modulePath) {
    // Walk character by character: in a double-byte code page the second byte of a character
    // can be 0x5C, which is not a backslash there.
    std::size_t afterBackslash = std::string_view::npos;
    std::size_t afterColon = std::string_view::npos;
    for (std::size_t i = 0; i < modulePath.size(); ++i) {
        const auto byte = static_cast<unsigned char>(modulePath[i]);
        if (platform::IsLeadByte(byte) && i + 1 < modulePath.size()) {
            ++i;
        } else if (byte == '\\') {
            afterBackslash = i + 1;
        } else if (byte == ':') {
            afterColon = i + 1;
        }
    }
    const std::size_t start = afterBackslash != std::string_view::npos ? afterBackslash
                              : afterColon != std::string_view::npos   ? afterColon
                                                                       : 0;
    return modulePath.substr(start);
}

bool UseTaskDialog(std::uint32_t windowsMajorVersion,
                   std::optional<std::uint32_t> commonControlsVersion) {
    return windowsMajorVersion >= 6 && commonControlsVersion.value_or(0x00060000u) >= 0x00060000u;
}

FailureReporter FailureReporter::ForThisProcess() {
    return FailureReporter(platform::ModuleFileNameWide(), platform::WindowsMajorVersion());
}

const std::wstring& FailureReporter::ProgramTitle() {
    if (!programTitle_) programTitle_ = MakeProgramTitle(modulePath_);
    return *programTitle_;
}

platform::WindowHandle FailureReporter::DialogOwner() {
    // Created only now: a top-level window whose thread sits in WaitForSingleObject without
    // pumping messages would hang every program that broadcasts with SendMessage.
    if (hiddenMainWindow_ == nullptr) hiddenMainWindow_ = platform::CreateHiddenMainWindow(ProgramTitle());
    if (platform::WindowHandle active = platform::ActiveWindow()) return active;
    return platform::LastActivePopup(hiddenMainWindow_);
}

void FailureReporter::ReportLaunchFailure(std::uint32_t launchErrorCode,
                                          const std::string& launchCommandLine) {
    platform::ShowMessageBox(LaunchErrorMessage(launchErrorCode).c_str(), "Erro", kErrorBoxType);

    const std::wstring commandLine = ToWideText(launchCommandLine);
    ShowCommandLineDialog(
        commandLine,
        UseTaskDialog(windowsMajorVersion_,
                      windowsMajorVersion_ >= 6 ? platform::CommonControlsVersion() : std::nullopt));
}

platform::TaskDialogRequest FailureReporter::CommandLineTaskDialog(
    platform::WindowHandle owner, const std::wstring& commandLine) {
    platform::TaskDialogRequest request;
    request.owner = owner;
    request.flags = kAllowDialogCancellation;
    request.windowTitle = ProgramTitle();
    request.content = commandLine;
    request.buttons = {platform::TaskDialogButton{kIdOk, L"OK"}};
    request.defaultButton = kIdOk;
    request.centreOnOwnerMonitor = true;
    return request;
}

void FailureReporter::ShowCommandLineDialog(const std::wstring& commandLine, bool taskDialog) {
    const platform::WindowHandle owner = DialogOwner();
    if (!taskDialog) {
        platform::ShowPlainDialog(owner, ProgramTitle(), commandLine);
        return;
    }

    // Loaded here rather than at start: a launch that succeeds never needs them.
    platform::LoadCommonControls();
    // Without TaskDialogIndirect nothing is shown, and the launch ends as usual.
    platform::ShowTaskDialog(CommandLineTaskDialog(owner, commandLine));
}

void ReportAbnormalTermination() {
    // Often reached because memory has run out, so nothing here takes any from the heap: the
    // path goes into static storage, and the caption is its tail, ended by the path's own NUL.
    // Should a failure come back here all the same (the system failing inside the box, say),
    // the process ends at once with the same exit code.
    static bool entered = false;
    if (entered) platform::EndProcess(3);
    entered = true;
    platform::ShowMessageBox("Abnormal program termination",
                             AbnormalTerminationCaption(platform::ModuleFileNameAnsi(g_modulePath)).data(),
                             kTerminationBoxType);
    entered = false;  // as found, for a platform whose end of process hands control back (tests)
    platform::EndProcess(3);
}

}  // namespace launcher
