// A second reading of the settings number, written another way than the launcher's parser:
// a regular expression decides the form, 64-bit arithmetic decides the range. The fuzzers hold
// the two against each other.
#pragma once

#include <cstdint>
#include <optional>
#include <regex>
#include <string>

namespace oracle {

inline std::optional<std::int32_t> SettingNumber(const std::wstring& text) {
    // Blanks, one sign, then a hexadecimal prefix with hex digits or plain decimal digits.
    static const std::wregex form(LR"( *([+-]?)(?:(?:\$|[xX]|0[xX])([0-9A-Fa-f]+)|([0-9]+)))");
    std::wsmatch match;
    if (!std::regex_match(text, match, form)) return std::nullopt;
    const bool negative = match[1] == L"-";
    const bool hex = match[2].matched;
    std::wstring digits = hex ? match[2].str() : match[3].str();
    const std::size_t significant = digits.find_first_not_of(L'0');
    digits = significant == std::wstring::npos ? L"0" : digits.substr(significant);
    // More significant digits than the widest value has cannot fit, and would overflow below.
    if (digits.size() > (hex ? 8u : 10u)) return std::nullopt;

    const std::uint64_t value = std::stoull(std::string(digits.begin(), digits.end()), nullptr,
                                            hex ? 16 : 10);
    if (hex) {
        // Any 32-bit pattern; a minus negates it modulo 2^32.
        const auto bits = static_cast<std::uint32_t>(value);
        const std::uint32_t signedBits = negative ? ~bits + 1u : bits;
        return static_cast<std::int32_t>(signedBits);
    }
    if (value > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(value)
                                              : static_cast<std::int64_t>(value));
}

}  // namespace oracle
