// The seam between the launcher's logic and Windows. Everything here speaks plain values;
// the Win32 implementation (platform/win32) is the only code that includes <windows.h>,
// and the fake (platform/fake) lets the logic run on any host.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The same opaque types <windows.h> declares in STRICT mode, so the launcher can hold
// handles without seeing the Windows headers and without any cast at the seam.
struct HKEY__;  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the Windows name
struct HWND__;  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the Windows name

namespace platform {

using KeyHandle = HKEY__*;
using ObjectHandle = void*;
using WindowHandle = HWND__*;

// Closes a kernel object handle (process, thread). Move-only through unique_ptr.
struct HandleCloser {
    using pointer = ObjectHandle;
    void operator()(ObjectHandle handle) const noexcept;
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Closes a registry key opened below a predefined root key.
struct KeyCloser {
    using pointer = KeyHandle;
    void operator()(KeyHandle key) const noexcept;
};
using UniqueKey = std::unique_ptr<HKEY__, KeyCloser>;

// ---- Text -------------------------------------------------------------------------------
// Conversions in the ANSI code page that GetACP reports when the process starts.
// Both deliver what the system call delivers, or the empty text when it delivers nothing.
std::string WideToAnsi(const std::wstring& wide);
std::wstring AnsiToWide(const std::string& ansi);
// The same conversion with MB_ERR_INVALID_CHARS: nothing when a byte sequence is no character
// of the code page (a lead byte without its trail byte, an unassigned code).
std::optional<std::wstring> AnsiToWideStrict(const std::string& ansi);
// Whether the ANSI code page has characters of two bytes (932, 936, 949, 950, 1361).
bool AnsiCodePageIsDoubleByte();

// ---- Files and directories --------------------------------------------------------------
// The process's current directory, whole, however long it is.
std::wstring CurrentDirectory();
// GetShortPathNameW: the path with each of its names in 8.3 form, for a path that exists;
// nothing when the call fails. Where a volume makes no short names, the long names come back.
std::optional<std::wstring> ShortPathName(const std::wstring& path);
// Result deliberately not reported: the launcher goes on the same way either way.
void ChangeCurrentDirectory(const std::string& path);
// The value of `key` in `section` of the profile file at `path`, as GetPrivateProfileStringW
// reads it with a buffer of `capacity` code units, the file's encoding detected from its bytes
// (platform/profile_reader.h): the value or `fallback`, cut to capacity - 1 code units.
std::wstring ReadProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fallback, std::uint32_t capacity,
                               const std::wstring& path);

// ---- Processes --------------------------------------------------------------------------
struct StartupRecord {
    std::uint32_t size = 0;
    std::uint32_t flags = 0;
    std::uint16_t showWindow = 0;
};

struct ProcessStart {
    bool created = false;
    std::uint32_t error = 0;  // the last-error code, read right after a failed creation
    UniqueHandle process;
    UniqueHandle thread;
};

// CreateProcessA with no application name, no security attributes and no environment block.
ProcessStart StartProcess(const std::string& commandLine, bool inheritHandles,
                          std::uint32_t creationFlags, const std::string& currentDirectory,
                          const StartupRecord& startup);
// WaitForSingleObject without a time-out; its result tells the launcher nothing it acts on.
void WaitUntilEnded(ObjectHandle process);

// Ends the process at once with `exitCode`: no destructors, no clean-up.
[[noreturn]] void EndProcess(std::uint32_t exitCode);

// ---- Registry ---------------------------------------------------------------------------
KeyHandle LocalMachineRoot();

struct KeyOpening {
    long status = 0;
    UniqueKey key;
};
KeyOpening OpenRegistryKey(KeyHandle root, const std::wstring& path, std::uint32_t access);

struct ValueQuery {
    long status = 0;
    std::uint32_t type = 0;
    std::uint32_t byteCount = 0;
    std::vector<std::uint8_t> data;  // filled only when a buffer was asked for
};
// RegQueryValueExW without a buffer: type and size only.
ValueQuery QueryValueSize(KeyHandle key, const std::wstring& name);
// RegQueryValueExW with a buffer of `byteCount` bytes.
ValueQuery QueryValueData(KeyHandle key, const std::wstring& name, std::uint32_t byteCount);

// ---- Process start-up -------------------------------------------------------------------
// DLLs loaded by name from now on come from the system directory only
// (SetDefaultDllDirectories, where the system has it).
void RestrictDllSearchToSystem();
// The running executable's full path, whole however long, in UTF-16.
std::wstring ModuleFileNameWide();
// The same in the ANSI code page, written into `buffer` and ended by a NUL there, cut to fit;
// no heap, so the termination box can still name the file when memory has run out.
std::string_view ModuleFileNameAnsi(std::span<char> buffer);
// CharNextW past the first character, then CharLowerW on the rest.
std::wstring LowerCaseAfterFirstCharacter(const std::wstring& text);
// Whether `byte` starts a two-byte character in the ANSI code page.
bool IsLeadByte(unsigned char byte);
std::uint32_t WindowsMajorVersion();

// ---- Dialogs ----------------------------------------------------------------------------
// MessageBoxA with no owner; what the user pressed does not matter to the launcher. Plain C
// strings, which the termination box can pass without allocating.
void ShowMessageBox(const char* text, const char* caption, std::uint32_t type);

// The dwFileVersionMS of comctl32.dll's version record, read through version.dll loaded from
// the system directory only; nothing when it cannot be read.
std::optional<std::uint32_t> CommonControlsVersion();

// A never-shown top-level window that owns the command-line dialog; it lives until the
// process ends.
WindowHandle CreateHiddenMainWindow(const std::wstring& title);
WindowHandle ActiveWindow();
WindowHandle LastActivePopup(WindowHandle window);

// Loads the common controls that the manifest names (version 6 side by side).
void LoadCommonControls();

struct TaskDialogButton {
    int id = 0;
    std::wstring text;
};

// The fields of TASKDIALOGCONFIG that the launcher sets; every other field is zero.
struct TaskDialogRequest {
    WindowHandle owner = nullptr;
    std::uint32_t flags = 0;
    std::uint32_t commonButtons = 0;
    std::wstring windowTitle;
    std::wstring content;
    std::vector<TaskDialogButton> buttons;
    int defaultButton = 0;
    std::uint32_t width = 0;
    // Centre the dialog in the work area of the owner's monitor when it is created.
    bool centreOnOwnerMonitor = false;
};

// TaskDialogIndirect taken by name from the already loaded comctl32.dll; E_NOTIMPL when it
// is not there. Returns the HRESULT.
long ShowTaskDialog(const TaskDialogRequest& request);

// The plain form for systems without task dialogs: a fixed-border modal dialog captioned
// `title`, with `text` as a word-wrapped label and one "OK" button, centred on the screen.
void ShowPlainDialog(WindowHandle owner, const std::wstring& title, const std::wstring& text);

}  // namespace platform
