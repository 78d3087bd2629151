// The Windows side of the seam. Only this directory includes <windows.h>.
#include "platform/win32/win32.h"

#include <algorithm>

#include "platform/profile_reader.h"

static_assert(sizeof(STARTUPINFOA) == 68, "32-bit STARTUPINFOA expected");

namespace platform {

void HandleCloser::operator()(ObjectHandle handle) const noexcept { CloseHandle(handle); }

namespace {

// The ANSI code page of the run, read once, so a change of locale mid-run cannot mix pages.
UINT AnsiCodePage() {
    static const UINT codePage = GetACP();
    return codePage;
}

DWORD NarrowingFlags(UINT codePage) {
    // Without WC_NO_BEST_FIT_CHARS a character the code page lacks becomes a look-alike (A for
    // U+0100, a plain quote for a full-width one, a backslash for the yen sign in 932), so a path
    // can name another folder that exists. With it, such a character becomes '?', which no file
    // name holds. These code pages refuse the flag and the call would fail outright; UTF-8 and
    // GB18030 represent every character, so there is nothing to best-fit there anyway.
    const bool refusesFlag = codePage == 42 || codePage == 54936 || codePage == 65000 ||
                             codePage == 65001 || (codePage >= 50220 && codePage <= 50229) ||
                             (codePage >= 57002 && codePage <= 57011);
    return refusesFlag ? 0 : WC_NO_BEST_FIT_CHARS;
}

}  // namespace

std::string WideToAnsi(const std::wstring& wide) {
    const UINT codePage = AnsiCodePage();
    const DWORD flags = NarrowingFlags(codePage);
    const int length = static_cast<int>(wide.size());
    const int bytes =
        WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    const int written = WideCharToMultiByte(codePage, flags, wide.data(), length, ansi.data(),
                                            bytes, nullptr, nullptr);
    ansi.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return ansi;
}

namespace {

std::optional<std::wstring> Widen(const std::string& ansi, DWORD flags) {
    if (ansi.empty()) return std::wstring();
    const int length = static_cast<int>(ansi.size());
    const int units = MultiByteToWideChar(AnsiCodePage(), flags, ansi.data(), length, nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    const int written =
        MultiByteToWideChar(AnsiCodePage(), flags, ansi.data(), length, wide.data(), units);
    if (written <= 0) return std::nullopt;
    wide.resize(static_cast<std::size_t>(written));
    return wide;
}

}  // namespace

std::wstring AnsiToWide(const std::string& ansi) { return Widen(ansi, 0).value_or(std::wstring()); }

// Only ever asked in a double-byte code page: a few others (42, 50220-50229, 57002-57011,
// 65000) refuse MB_ERR_INVALID_CHARS with ERROR_INVALID_FLAGS, which would read as "invalid".
std::optional<std::wstring> AnsiToWideStrict(const std::string& ansi) {
    return Widen(ansi, MB_ERR_INVALID_CHARS);
}

bool AnsiCodePageIsDoubleByte() {
    // MaxCharSize is 2 exactly for the lead-byte code pages; UTF-8 reports 4, GB18030 4.
    CPINFO info{};
    return GetCPInfo(AnsiCodePage(), &info) && info.MaxCharSize == 2;
}

namespace {

// For the calls that fill a caller's buffer with a text: asked with too small a buffer, they
// return the size they need *including* the NUL; with enough room, the length *without* it.
// What they report can change between two calls (another thread moves the current directory, a
// folder is renamed), so ask until the answer fits. Nothing when the call fails.
template <typename Fill>
std::optional<std::wstring> WholeText(std::size_t firstGuess, Fill fill) {
    std::wstring text(firstGuess, L'\0');
    for (;;) {
        const DWORD result = fill(text.data(), static_cast<DWORD>(text.size()));
        if (result == 0) return std::nullopt;
        if (result < text.size()) {
            text.resize(result);
            return text;
        }
        text.assign(result, L'\0');
    }
}

}  // namespace

std::wstring CurrentDirectory() {
    return WholeText(261, [](wchar_t* buffer, DWORD size) {
               return GetCurrentDirectoryW(size, buffer);
           }).value_or(std::wstring());
}

std::optional<std::wstring> ShortPathName(const std::wstring& path) {
    return WholeText(path.size() + 1, [&](wchar_t* buffer, DWORD size) {
        return GetShortPathNameW(path.c_str(), buffer, size);
    });
}

void ChangeCurrentDirectory(const std::string& path) { SetCurrentDirectoryA(path.c_str()); }

namespace {

// The whole file, or nothing when it cannot be opened or read; of a file past the size bound,
// only enough to tell. Read-only, with every kind of sharing, so a packager's editor that has
// the file open is never disturbed; nothing is kept open afterwards.
std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened: a folder named config.ini
    // reads as no file.
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
    const UniqueHandle file(opened);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr)) return std::nullopt;
        if (read == 0) return bytes;
        bytes.append(chunk, read);
        // Past the bound the reader takes it for no file: the rest need not be read (and a
        // file that keeps growing cannot keep the launcher reading).
        if (!profile::WithinSizeBound(bytes.size())) return bytes;
    }
}

}  // namespace

std::wstring ReadProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fallback, std::uint32_t capacity,
                               const std::wstring& path) {
    return profile::ReadValue(ReadWholeFile(path), section, key, fallback, capacity);
}

ProcessStart StartProcess(const std::string& commandLine, bool inheritHandles,
                          std::uint32_t creationFlags, const std::string& currentDirectory,
                          const StartupRecord& startup) {
    STARTUPINFOA startupInfo{};
    startupInfo.cb = startup.size;
    startupInfo.dwFlags = startup.flags;
    startupInfo.wShowWindow = startup.showWindow;
    PROCESS_INFORMATION info{};

    // CreateProcess may write into the command line buffer, so it must not be a literal.
    std::string writable = commandLine;
    const BOOL created =
        CreateProcessA(nullptr, writable.data(), nullptr, nullptr, inheritHandles ? TRUE : FALSE,
                       creationFlags, nullptr, currentDirectory.c_str(), &startupInfo, &info);
    ProcessStart result;
    if (!created) {
        result.error = GetLastError();
        return result;
    }
    result.created = true;
    result.process.reset(info.hProcess);
    result.thread.reset(info.hThread);
    return result;
}

void WaitUntilEnded(ObjectHandle process) { WaitForSingleObject(process, INFINITE); }

void EndProcess(std::uint32_t exitCode) { ExitProcess(exitCode); }

void RestrictDllSearchToSystem() {
    // Looked up by name: systems without the update that added it still start.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = win32::ProcAddress<SetDefaultDllDirectoriesFn>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring ModuleFileNameWide() {
    // GetModuleFileName gives no error when the path is cut on older systems: it just fills
    // the buffer. A result equal to the buffer size therefore means "try bigger".
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(path.size() * 2, L'\0');
    }
}

std::string_view ModuleFileNameAnsi(std::span<char> buffer) {
    if (buffer.empty()) return {};
    // Cut to fit, XP leaves the buffer without its NUL: end it here in every case.
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = std::min(GetModuleFileNameA(nullptr, buffer.data(), size), size - 1);
    buffer[length] = '\0';
    return std::string_view(buffer.data(), length);
}

std::wstring LowerCaseAfterFirstCharacter(const std::wstring& text) {
    std::wstring result = text;
    if (result.empty()) return result;
    // CharLowerW takes a pointer whose high word is zero as a single character, not a string;
    // a pointer into a std::wstring never is.
    win32::User().CharLowerW(win32::User().CharNextW(result.data()));
    return result;
}

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

std::uint32_t WindowsMajorVersion() { return LOBYTE(LOWORD(GetVersion())); }

KeyHandle LocalMachineRoot() { return HKEY_LOCAL_MACHINE; }

namespace {

// The three registry functions, bound when the registry is first read. A launch with the
// shipped runtime never reads it, and so never maps advapi32 and the libraries it brings along.
// Should the library or a function be missing, every call fails as on a key that does not
// exist: the registered runtime is then "\bin\Javaw.exe", as with no key in either view.
struct Advapi32 {
    decltype(&::RegOpenKeyExW) RegOpenKeyExW = nullptr;
    decltype(&::RegQueryValueExW) RegQueryValueExW = nullptr;
    decltype(&::RegCloseKey) RegCloseKey = nullptr;
    bool complete = false;
};

const Advapi32& Registry() {
    static const Advapi32 functions = [] {
        const HMODULE module = win32::LoadSystemLibrary(L"advapi32.dll");
        Advapi32 f;
        f.RegOpenKeyExW = win32::ProcAddress<decltype(f.RegOpenKeyExW)>(module, "RegOpenKeyExW");
        f.RegQueryValueExW = win32::ProcAddress<decltype(f.RegQueryValueExW)>(module, "RegQueryValueExW");
        f.RegCloseKey = win32::ProcAddress<decltype(f.RegCloseKey)>(module, "RegCloseKey");
        f.complete = f.RegOpenKeyExW && f.RegQueryValueExW && f.RegCloseKey;
        return f;
    }();
    return functions;
}

}  // namespace

// Only a key that was opened is ever closed, and opening one bound the library.
void KeyCloser::operator()(KeyHandle key) const noexcept { Registry().RegCloseKey(key); }

KeyOpening OpenRegistryKey(KeyHandle root, const std::wstring& path, std::uint32_t access) {
    KeyOpening opening;
    if (!Registry().complete) {
        opening.status = ERROR_FILE_NOT_FOUND;
        return opening;
    }
    HKEY key = nullptr;
    opening.status = Registry().RegOpenKeyExW(root, path.c_str(), 0, access, &key);
    if (opening.status == ERROR_SUCCESS) opening.key.reset(key);
    return opening;
}

ValueQuery QueryValueSize(KeyHandle key, const std::wstring& name) {
    ValueQuery query;
    // Reached with a null key only (no key could be opened); the call itself would fail there.
    if (!Registry().complete) {
        query.status = ERROR_INVALID_HANDLE;
        return query;
    }
    DWORD type = 0;
    DWORD bytes = 0;
    query.status = Registry().RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
    query.type = type;
    query.byteCount = bytes;
    return query;
}

ValueQuery QueryValueData(KeyHandle key, const std::wstring& name, std::uint32_t byteCount) {
    ValueQuery query;
    query.data.assign(byteCount, 0);
    DWORD type = 0;
    DWORD bytes = byteCount;
    // Only after a size query that succeeded, so the library is there.
    query.status =
        Registry().RegQueryValueExW(key, name.c_str(), nullptr, &type, query.data.data(), &bytes);
    query.type = type;
    query.byteCount = bytes;
    // Registry data never grows into a buffer larger than was given; keep only what came back.
    if (query.status == ERROR_SUCCESS && bytes < byteCount) query.data.resize(bytes);
    return query;
}

}  // namespace platform
