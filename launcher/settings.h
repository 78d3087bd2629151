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
    // Kept as the file gives it: a name the code page cannot hold is narrowed only once the
    // folder it lies in is known, so that its short name can stand in.
    std::wstring NOME_JAR;
};

// The current directory as the system reports it, and as the ANSI path that names it on the
// command line (a short name standing in for each name the code page cannot hold).
struct DirectoryReading {
    std::wstring wide;
    std::string ansi;
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

DirectoryReading ReadWorkingDirectory();
// Reads config.ini in `workingDirectory` as the system reports it, so that the file is found
// whatever the directory's name, whichever code page the PC has.
LauncherSettings ReadLauncherSettings(const std::wstring& workingDirectory);
std::optional<std::int32_t> ParseSettingNumber(std::wstring_view text);

}  // namespace launcher
