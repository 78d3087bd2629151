// Test-only stand-in for javaw.exe. It appends one JSON line to the file named by the
// STANDIN_RECORD environment variable (which it inherits from the launcher): its own module
// path, its full command line, its current directory and its start-up flags. STANDIN_SLEEP_MS
// makes it linger before recording, STANDIN_EXIT chooses its exit code. STANDIN_HIDDEN_WINDOW
// makes it create a never-shown top-level window and not pump messages while it lingers: the
// behaviour that hangs broadcasts, as a control for the launcher's own check.
// STANDIN_STARTED names a file to which it appends one line as soon as it starts; STANDIN_HOLD
// names a file while whose existence it lingers (two minutes at most), so that a test can act
// while the launcher waits and then let the child end, whatever the speed of the host.
// STANDIN_PARENT_MEMORY adds the private bytes and working set of the process that started it
// (the launcher, waiting), for the benchmark. STANDIN_PARENT_MODULES adds the base names of the
// modules mapped in that process. Every record also tells whether the archive path (the last
// quoted piece of the command line) opens, and the long forms of it and of the current
// directory, so a test can see which files a path of short names really named.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "json_text.h"

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}


std::string JsonBytes(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        char hex[3];
        (void)std::snprintf(hex, sizeof hex, "%02x", *p);
        out += hex;
    }
    return out + "\"";
}

HANDLE OpenParent() {
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent);
}

// ", "parentModules": [names]" of the parent process, or an empty text.
std::string ParentModules() {
    HANDLE process = OpenParent();
    if (process == nullptr) return {};
    HMODULE modules[512];
    DWORD needed = 0;
    std::string out;
    if (EnumProcessModules(process, modules, sizeof modules, &needed)) {
        out = ", \"parentModules\": [";
        for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
            wchar_t name[MAX_PATH];
            const DWORD length = GetModuleBaseNameW(process, modules[i], name, MAX_PATH);
            out += (i ? ", " : "") + Json(std::wstring(name, length));
        }
        out += "]";
    }
    CloseHandle(process);
    return out;
}

// "{private bytes, working set}" of the parent process, or an empty text.
std::string ParentMemory() {
    HANDLE process = OpenParent();
    if (process == nullptr) return {};
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    std::string out;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        out = ", \"parentPrivateBytes\": " + std::to_string(counters.PrivateUsage) +
              ", \"parentWorkingSet\": " + std::to_string(counters.WorkingSetSize);
    }
    CloseHandle(process);
    return out;
}

// GetLongPathNameW of `path`, or an empty text when it names nothing.
std::wstring LongPath(const std::wstring& path) {
    wchar_t buffer[32768];
    const DWORD length = GetLongPathNameW(path.c_str(), buffer, 32768);
    return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

// The archive path: what stands between the last two double quotes of the command line.
std::wstring ArchivePath() {
    const std::wstring line = GetCommandLineW();
    const std::size_t close = line.rfind(L'"');
    const std::size_t open = close == 0 || close == std::wstring::npos ? std::wstring::npos : line.rfind(L'"', close - 1);
    return open == std::wstring::npos ? std::wstring() : line.substr(open + 1, close - open - 1);
}

std::string ArchiveFacts() {
    const std::wstring archive = ArchivePath();
    HANDLE file = CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool opens = file != INVALID_HANDLE_VALUE;
    if (opens) CloseHandle(file);
    // Asked only of a file that exists: Wine's GetLongPathNameW crashes on a name longer than
    // MAX_PATH, which a 2047-character archive name is.
    return std::string(", \"archiveOpens\": ") + (opens ? "true" : "false") +
           ", \"archiveLong\": " + Json(opens ? LongPath(archive) : std::wstring());
}

// Appends `text` to the file the environment variable `name` names, if it names one; shared
// writers (several stand-ins at once) each add whole lines.
void AppendToFileNamedBy(const wchar_t* name, const std::string& text) {
    const std::wstring path = Environment(name);
    if (path.empty()) return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!Environment(L"STANDIN_HIDDEN_WINDOW").empty()) {
        CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"standin hidden", WS_POPUP, 0, 0, 0, 0,
                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    AppendToFileNamedBy(L"STANDIN_STARTED", "started\n");
    const std::wstring hold = Environment(L"STANDIN_HOLD");
    for (DWORD waited = 0; !hold.empty() && waited < 120000 &&
                           GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
         waited += 50) {
        Sleep(50);
    }
    const std::wstring sleep = Environment(L"STANDIN_SLEEP_MS");
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::wcstoul(sleep.c_str(), nullptr, 10)));

    wchar_t module[32768];
    const DWORD moduleLength = GetModuleFileNameW(nullptr, module, 32768);
    wchar_t directory[32768];
    const DWORD directoryLength = GetCurrentDirectoryW(32768, directory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);

    std::string line = "{\"module\": " + Json(std::wstring(module, moduleLength)) +
                       ", \"commandLine\": " + Json(GetCommandLineW()) +
                       ", \"commandLineAnsiHex\": " + JsonBytes(GetCommandLineA()) +
                       ", \"currentDirectory\": " +
                       Json(std::wstring(directory, directoryLength)) +
                       ", \"directoryLong\": " + Json(LongPath(std::wstring(directory, directoryLength))) +
                       ArchiveFacts() +
                       ", \"startupFlags\": " + std::to_string(startup.dwFlags) +
                       ", \"showWindow\": " + std::to_string(startup.wShowWindow) +
                       (Environment(L"STANDIN_PARENT_MEMORY").empty() ? "" : ParentMemory()) +
                       (Environment(L"STANDIN_PARENT_MODULES").empty() ? "" : ParentModules()) + "}\n";

    AppendToFileNamedBy(L"STANDIN_RECORD", line);
    const std::wstring exitCode = Environment(L"STANDIN_EXIT");
    return exitCode.empty() ? 0 : static_cast<int>(std::wcstol(exitCode.c_str(), nullptr, 10));
}
