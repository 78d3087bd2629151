#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstdint>

#include "platform/profile_reader.h"

namespace fake {

namespace {

World g_world;

struct OpenKey {
    bool view64;
    std::wstring path;
};
std::map<std::uintptr_t, OpenKey> g_keys;
std::uintptr_t g_nextId = 0x1000;
constexpr std::uintptr_t kLocalMachine = 0x80000002u;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) out.push_back(digits[(value >> shift) & 0xF]);
    return out;
}

void Log(std::string entry) { g_world.calls.push_back(std::move(entry)); }

platform::ObjectHandle NewHandle() {
    ++g_world.openHandles;
    return reinterpret_cast<platform::ObjectHandle>(g_nextId++);
}

}  // namespace

World& world() { return g_world; }

void Reset() {
    g_world = World{};
    g_keys.clear();
}

std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text, bool withTerminator) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (withTerminator) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

}  // namespace fake

namespace platform {

using fake::g_world;

void HandleCloser::operator()(ObjectHandle handle) const noexcept {
    fake::Log("CloseHandle " + std::to_string(reinterpret_cast<std::uintptr_t>(handle)));
    --g_world.openHandles;
}

void KeyCloser::operator()(KeyHandle key) const noexcept {
    const auto id = reinterpret_cast<std::uintptr_t>(key);
    fake::Log("RegCloseKey " + fake::Narrow(fake::g_keys[id].path));
    fake::g_keys.erase(id);
    --g_world.openKeys;
}

// Latin-1 stands in for the ANSI code page; what it cannot hold becomes '?', as the system's
// conversion without best fit makes it. With lead bytes set, the code page is double-byte: a
// lead byte and a trail byte (0x40-0xFE but 0x7F) are the character U+<lead><trail>, every
// other byte is the Latin-1 character of its value.
namespace {

bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// Nothing for a lead byte without its trail byte; `strict` or not, the rest converts.
std::optional<std::wstring> FakeWiden(const std::string& ansi, bool strict) {
    std::wstring out;
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        const auto byte = static_cast<unsigned char>(ansi[i]);
        if (!IsLeadByte(byte)) {
            out.push_back(static_cast<wchar_t>(byte));
        } else if (i + 1 < ansi.size() && IsTrailByte(static_cast<unsigned char>(ansi[i + 1]))) {
            out.push_back(static_cast<wchar_t>(byte << 8 | static_cast<unsigned char>(ansi[++i])));
        } else if (strict) {
            return std::nullopt;
        } else {
            out.push_back(L'?');
        }
    }
    return out;
}

}  // namespace

std::string WideToAnsi(const std::wstring& wide) {
    std::string out;
    for (wchar_t c : wide) {
        const auto high = static_cast<unsigned char>((c >> 8) & 0xFF);
        const auto low = static_cast<unsigned char>(c & 0xFF);
        if (c < 0x100 && !IsLeadByte(low)) {
            out.push_back(static_cast<char>(low));
        } else if (c <= 0xFFFF && IsLeadByte(high) && IsTrailByte(low)) {
            out.push_back(static_cast<char>(high));
            out.push_back(static_cast<char>(low));
        } else {
            out.push_back('?');
        }
    }
    return out;
}

std::wstring AnsiToWide(const std::string& ansi) { return *FakeWiden(ansi, false); }

std::optional<std::wstring> AnsiToWideStrict(const std::string& ansi) { return FakeWiden(ansi, true); }

bool AnsiCodePageIsDoubleByte() { return !g_world.leadBytes.empty(); }

std::wstring CurrentDirectory() {
    fake::Log("GetCurrentDirectory");
    if (!g_world.directoryReadings.empty()) {
        g_world.currentDirectory = g_world.directoryReadings.front();
        g_world.directoryReadings.erase(g_world.directoryReadings.begin());
    }
    return g_world.currentDirectory;
}

std::optional<std::wstring> ShortPathName(const std::wstring& path) {
    fake::Log("GetShortPathName " + fake::Narrow(path));
    const auto found = g_world.shortPaths.find(path);
    if (found == g_world.shortPaths.end()) return std::nullopt;
    return found->second;
}

void ChangeCurrentDirectory(const std::string& path) {
    fake::Log("SetCurrentDirectory " + path);
    g_world.currentDirectory = AnsiToWide(path);
}

std::wstring ReadProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fallback, std::uint32_t capacity,
                               const std::wstring& path) {
    fake::Log("GetPrivateProfileString " + fake::Narrow(path) + " [" + fake::Narrow(section) +
              "] " + fake::Narrow(key) + " size " + std::to_string(capacity));
    auto file = g_world.files.find(path);
    if (file != g_world.files.end() && file->second.bytes) {
        return profile::ReadValue(file->second.bytes, section, key, fallback, capacity);
    }
    std::wstring value = fallback;
    if (file != g_world.files.end()) {
        if (auto sec = file->second.sections.find(section); sec != file->second.sections.end()) {
            if (auto k = sec->second.find(key); k != sec->second.end()) value = k->second;
        }
    }
    if (value.size() > capacity - 1) value.resize(capacity - 1);
    return value;
}

ProcessStart StartProcess(const std::string& commandLine, bool inheritHandles,
                          std::uint32_t creationFlags, const std::string& currentDirectory,
                          const StartupRecord& startup) {
    fake::Log("CreateProcess " + commandLine);
    g_world.started.push_back({commandLine, inheritHandles, creationFlags, currentDirectory, startup});
    ProcessStart result;
    if (!g_world.processCanStart) {
        result.error = g_world.startError;
        return result;
    }
    result.created = true;
    result.process.reset(fake::NewHandle());
    result.thread.reset(fake::NewHandle());
    fake::Log("process " + std::to_string(reinterpret_cast<std::uintptr_t>(result.process.get())) +
              " thread " + std::to_string(reinterpret_cast<std::uintptr_t>(result.thread.get())));
    return result;
}

void WaitUntilEnded(ObjectHandle process) {
    fake::Log("Wait " + std::to_string(reinterpret_cast<std::uintptr_t>(process)));
}

void EndProcess(std::uint32_t exitCode) {
    fake::Log("ExitProcess " + std::to_string(exitCode));
    throw fake::ExitRequested{exitCode};
}

KeyHandle LocalMachineRoot() { return reinterpret_cast<KeyHandle>(fake::kLocalMachine); }

KeyOpening OpenRegistryKey(KeyHandle root, const std::wstring& path, std::uint32_t access) {
    const bool view64 = (access & 0x100u) != 0;
    fake::Log("RegOpenKey " + std::string(view64 ? "64 " : "default ") + fake::Narrow(path) + " " +
              fake::Hex(access));
    KeyOpening opening;
    const fake::RegistryView& view = view64 ? g_world.view64 : g_world.view32;
    const bool refused = (access & 0x10u) != 0 &&  // asks for KEY_NOTIFY
                         std::find(g_world.refuseFullAccess.begin(), g_world.refuseFullAccess.end(),
                                   path) != g_world.refuseFullAccess.end();
    if (reinterpret_cast<std::uintptr_t>(root) != fake::kLocalMachine || !view.count(path)) {
        opening.status = 2;  // ERROR_FILE_NOT_FOUND
    } else if (refused) {
        opening.status = 5;  // ERROR_ACCESS_DENIED
    } else {
        const std::uintptr_t id = fake::g_nextId++;
        fake::g_keys[id] = {view64, path};
        ++g_world.openKeys;
        opening.key.reset(reinterpret_cast<KeyHandle>(id));
    }
    return opening;
}

namespace {

const fake::RegistryValue* FindValue(KeyHandle key, const std::wstring& name) {
    auto open = fake::g_keys.find(reinterpret_cast<std::uintptr_t>(key));
    if (open == fake::g_keys.end()) return nullptr;
    const fake::RegistryView& view = open->second.view64 ? g_world.view64 : g_world.view32;
    const auto& values = view.at(open->second.path);
    auto value = values.find(name);
    return value == values.end() ? nullptr : &value->second;
}

}  // namespace

ValueQuery QueryValueSize(KeyHandle key, const std::wstring& name) {
    fake::Log("RegQueryValue size " + fake::Narrow(name));
    ValueQuery query;
    const fake::RegistryValue* value = FindValue(key, name);
    if (value == nullptr) {
        query.status = key == nullptr ? 6 : 2;  // ERROR_INVALID_HANDLE, ERROR_FILE_NOT_FOUND
        return query;
    }
    query.type = value->type;
    query.byteCount = static_cast<std::uint32_t>(value->data.size());
    return query;
}

ValueQuery QueryValueData(KeyHandle key, const std::wstring& name, std::uint32_t byteCount) {
    fake::Log("RegQueryValue data " + fake::Narrow(name) + " " + std::to_string(byteCount));
    ValueQuery query;
    const fake::RegistryValue* value = FindValue(key, name);
    if (value == nullptr) {
        query.status = key == nullptr ? 6 : 2;
        return query;
    }
    if (value->dataQueryStatus) {
        query.status = *value->dataQueryStatus;
        return query;
    }
    if (value->data.size() > byteCount) {
        query.status = 234;  // ERROR_MORE_DATA
        return query;
    }
    query.type = value->type;
    query.byteCount = static_cast<std::uint32_t>(value->data.size());
    query.data = value->data;
    return query;
}

void RestrictDllSearchToSystem() { fake::Log("SetDefaultDllDirectories"); }

std::wstring ModuleFileNameWide() { return g_world.modulePathWide; }

std::string_view ModuleFileNameAnsi(std::span<char> buffer) {
    if (buffer.empty()) return {};
    const std::size_t length = std::min(g_world.modulePathAnsi.size(), buffer.size() - 1);
    std::copy_n(g_world.modulePathAnsi.data(), length, buffer.data());
    buffer[length] = '\0';
    return std::string_view(buffer.data(), length);
}

std::wstring LowerCaseAfterFirstCharacter(const std::wstring& text) {
    fake::Log("CharLowerW " + fake::Narrow(text));
    std::wstring result = text;
    for (std::size_t i = 1; i < result.size(); ++i) {
        if (result[i] >= L'A' && result[i] <= L'Z') result[i] = static_cast<wchar_t>(result[i] + 32);
    }
    return result;
}

bool IsLeadByte(unsigned char byte) {
    return std::find(g_world.leadBytes.begin(), g_world.leadBytes.end(), byte) != g_world.leadBytes.end();
}

std::uint32_t WindowsMajorVersion() { return g_world.windowsMajorVersion; }

void ShowMessageBox(const char* text, const char* caption, std::uint32_t type) {
    // The system's box needs none of the launcher's memory: from here on the fake may allocate.
    g_world.failAllocations = false;
    fake::Log("MessageBox " + std::string(caption) + ": " + text);
    g_world.messageBoxes.push_back({text, caption, type});
}

std::optional<std::uint32_t> CommonControlsVersion() {
    fake::Log("CommonControlsVersion");
    return g_world.commonControlsVersion;
}

WindowHandle CreateHiddenMainWindow(const std::wstring& title) {
    fake::Log("CreateWindow " + fake::Narrow(title));
    g_world.windowsCreated.push_back(reinterpret_cast<WindowHandle>(fake::g_nextId++));
    return g_world.windowsCreated.back();
}

WindowHandle ActiveWindow() { return g_world.activeWindow; }

WindowHandle LastActivePopup(WindowHandle window) { return window; }

void LoadCommonControls() { fake::Log("LoadCommonControls"); }

long ShowTaskDialog(const TaskDialogRequest& request) {
    fake::Log("TaskDialog " + fake::Narrow(request.content));
    if (!g_world.taskDialogAvailable) return static_cast<long>(0x80004001u);  // E_NOTIMPL
    g_world.taskDialogs.push_back(request);
    return 0;
}

void ShowPlainDialog(WindowHandle owner, const std::wstring& title, const std::wstring& text) {
    fake::Log("PlainDialog " + fake::Narrow(text));
    g_world.plainDialogs.push_back({owner, title, text});
}

}  // namespace platform
