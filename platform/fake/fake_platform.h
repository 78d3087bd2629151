// A scriptable stand-in for Windows, for the launcher's unit tests. Every call through the seam
// is written to `World::calls` in order, so tests can check what was asked and when.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct RegistryValue {
    std::uint32_t type = 1;  // REG_SZ
    std::vector<std::uint8_t> data;
    // When set, the second (data) query fails with this status: the value changed in between.
    std::optional<long> dataQueryStatus;
};

// One registry view: key path -> value name -> value. Key paths compare exactly.
using RegistryView = std::map<std::wstring, std::map<std::wstring, RegistryValue>>;

struct ProfileFile {
    // section -> key -> value, looked up exactly as written: the values as a reader delivers them.
    std::map<std::wstring, std::map<std::wstring, std::wstring>> sections;
    // When set, the file's bytes instead, read by the launcher's own profile reader.
    std::optional<std::string> bytes;
};

struct StartedProcess {
    std::string commandLine;
    bool inheritHandles = false;
    std::uint32_t creationFlags = 0xFFFFFFFF;
    std::string currentDirectory;
    platform::StartupRecord startup;
};

struct ExitRequested {
    std::uint32_t exitCode;
};

struct MessageBoxShown {
    std::string text;
    std::string caption;
    std::uint32_t type;
};

struct PlainDialogShown {
    platform::WindowHandle owner;
    std::wstring title;
    std::wstring text;
};

struct World {
    std::wstring currentDirectory = L"C:\\App";
    // When not empty, each CurrentDirectory() call takes the next of these as the directory.
    std::vector<std::wstring> directoryReadings;
    std::map<std::wstring, ProfileFile> files;  // by exact path
    // What GetShortPathNameW gives for a path, by exact path; a path not listed fails.
    std::map<std::wstring, std::wstring> shortPaths;

    RegistryView view64;
    RegistryView view32;
    // Key paths whose opening with the full reader mask is refused (the probe still succeeds).
    std::vector<std::wstring> refuseFullAccess;

    bool processCanStart = true;
    std::uint32_t startError = 2;
    std::vector<StartedProcess> started;

    std::wstring modulePathWide = L"C:\\App\\KELMORA.exe";
    std::string modulePathAnsi = "C:\\App\\KELMORA.exe";
    std::vector<unsigned char> leadBytes;  // of the pretend double-byte code page
    std::uint32_t windowsMajorVersion = 10;
    std::optional<std::uint32_t> commonControlsVersion = 0x00060010;
    platform::WindowHandle activeWindow = nullptr;
    bool taskDialogAvailable = true;

    // While set, the unit tests' operator new fails, as when memory has run out; showing a
    // message box clears it.
    bool failAllocations = false;
    std::vector<MessageBoxShown> messageBoxes;
    std::vector<platform::TaskDialogRequest> taskDialogs;
    std::vector<PlainDialogShown> plainDialogs;
    std::vector<platform::WindowHandle> windowsCreated;

    std::vector<std::string> calls;
    int openHandles = 0;
    int openKeys = 0;
};

World& world();
void Reset();

// Helpers for tests.
std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text, bool withTerminator = true);

}  // namespace fake
