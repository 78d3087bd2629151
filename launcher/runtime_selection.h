// The machine-wide Java runtime: its JavaHome under HKEY_LOCAL_MACHINE, 64-bit view first.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace launcher {

inline constexpr std::uint32_t kReader64Access = 0x20119;       // KEY_READ | KEY_WOW64_64KEY
inline constexpr std::uint32_t kReaderDefaultAccess = 0x20019;  // KEY_READ

// A registry value that is not text, or whose data cannot be read: the launch is abandoned
// on the spot through the abnormal-termination box, exit code 3.
[[noreturn]] void RaiseRegistryError();

// Read-only access to one registry view below one root key, holding at most one open key.
class RegistryReader {
public:
    explicit RegistryReader(std::uint32_t accessMask) : access_(accessMask) {}
    RegistryReader(const RegistryReader&) = delete;
    RegistryReader& operator=(const RegistryReader&) = delete;

    void SetRootKey(platform::KeyHandle root) { root_ = root; }
    std::uint32_t AccessMask() const { return access_; }

    bool ProbeKey(const std::wstring& path) const;
    bool OpenExistingKey(const std::wstring& path);
    std::wstring ReadTextValue(const std::wstring& name) const;
    void CloseCurrentKey() { open_.reset(); }

private:
    platform::KeyHandle root_ = nullptr;
    std::uint32_t access_;
    platform::UniqueKey open_;
};

// Replaces `javaExecutablePath` by JavaHome + "\bin\Javaw.exe", JavaHome being empty when no
// view has the key; fills `javaHomeDirectory` and the module-level JreKeyPath.
void SelectJavaRuntime(RegistryReader& reader64, RegistryReader& readerDefault,
                       std::string& javaHomeDirectory, std::string& javaExecutablePath);

}  // namespace launcher
