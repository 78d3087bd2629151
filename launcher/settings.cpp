#include "launcher/settings.h"

#include "launcher/text.h"
#include "platform/platform.h"

namespace launcher {

DirectoryReading ReadWorkingDirectory() {
    // Read whole: a directory past MAX_PATH must not come back cut or stale.
    DirectoryReading reading{platform::CurrentDirectory(), {}};
    reading.ansi = ToAnsiPath(reading.wide);
    return reading;
}

std::wstring SettingsReader::ReadSettingText(const std::wstring& section, const std::wstring& key,
                                             const std::wstring& fallback) const {
    return platform::ReadProfileString(section, key, fallback, kSettingBufferSize, path_);
}

std::int32_t SettingsReader::ReadSettingNumber(const std::wstring& section,
                                               const std::wstring& key,
                                               std::int32_t fallback) const {
    return ParseSettingNumber(ReadSettingText(section, key, L"")).value_or(fallback);
}

LauncherSettings ReadLauncherSettings(const std::wstring& workingDirectory) {
    const SettingsReader reader(workingDirectory + L"\\config.ini");
    LauncherSettings settings;
    settings.VERSAO_JAVA = ToAnsiText(reader.ReadSettingText(L"KELMORA", L"VERSAO_JAVA", L""));
    settings.USAR_JAVAHOME = reader.ReadSettingNumber(L"KELMORA", L"USAR_JAVAHOME", 0);
    settings.NOME_JAR = reader.ReadSettingText(L"KELMORA", L"NOME_JAR", L"");
    return settings;
}

namespace {

int HexDigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

// Only ASCII blanks lead, one sign, then either a hexadecimal form ("$", "x", "X", "0x", "0X")
// or plain decimal digits to the very end; anything left over means "no number".
std::optional<std::int32_t> ParseSettingNumber(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }

    std::size_t hexDigitsAt = 0;
    if (i < text.size() && (text[i] == L'$' || text[i] == L'x' || text[i] == L'X')) {
        hexDigitsAt = i + 1;
    } else if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        hexDigitsAt = i + 2;
    }

    std::uint32_t value = 0;
    if (hexDigitsAt != 0) {
        i = hexDigitsAt;
        if (i == text.size()) return std::nullopt;
        for (; i < text.size(); ++i) {
            const int digit = HexDigitValue(text[i]);
            if (digit < 0 || value > 0x0FFFFFFFu) return std::nullopt;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
    } else {
        if (i == text.size()) return std::nullopt;
        for (; i < text.size(); ++i) {
            const wchar_t c = text[i];
            if (c < L'0' || c > L'9' || value > 214748364u) return std::nullopt;
            value = value * 10 + static_cast<std::uint32_t>(c - L'0');
        }
        if (value > (negative ? 2147483648u : 2147483647u)) return std::nullopt;
    }
    // Two's-complement wrap on purpose: "$FFFFFFFF" is -1 and "-$FFFFFFFF" is 1.
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

}  // namespace launcher
