// config.ini in the current directory: three keys of section [KELMORA], read in a fixed order,
// each falling back to its default without a word when the file, section or key is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace launcher {

struct LauncherSettings {
    std::string VERSAO_JAVA;
    std::int32_t USAR_JAVAHOME = 0;
    std::string NOME_JAR;
};

// Holds only the path; every read hands it to the system anew, nothing is cached or written.
class SettingsReader {
public:
    explicit SettingsReader(std::wstring path) : path_(std::move(path)) {}

    std::wstring ReadSettingText(const std::wstring& section, const std::wstring& key,
                                 const std::wstring& fallback) const;
    std::int32_t ReadSettingNumber(const std::wstring& section, const std::wstring& key,
                                   std::int32_t fallback) const;

private:
    std::wstring path_;
};

// Largest value the profile read delivers is one less: room for the terminating NUL.
inline constexpr std::uint32_t kSettingBufferSize = 2048;

std::string ReadWorkingDirectory();
LauncherSettings ReadLauncherSettings(const std::string& workingDirectory);
std::optional<std::int32_t> ParseSettingNumber(std::wstring_view text);

}  // namespace launcher
