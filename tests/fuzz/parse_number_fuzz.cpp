// ParseSettingNumber against an independent oracle, on any text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "launcher/settings.h"
#include "tests/fuzz/number_oracle.h"

namespace {

// One byte per UTF-16 unit keeps inputs short: ASCII stands for itself, and the upper half
// stands for characters a careless parser might take for digits, signs or blanks.
wchar_t UnitOf(std::uint8_t byte) {
    static const wchar_t lookalikes[] = {
        0xFF10, 0xFF11, 0xFF19, 0xFF04, 0xFF0B, 0xFF0D, 0xFF58, 0x2212,  // full-width 0 1 9 $ + - x, minus
        0x00A0, 0x3000, 0x0660, 0x0669, 0x00B2, 0x00B9, 0xD800, 0xFFFF,  // blanks, other digits, odd units
    };
    if (byte < 0x80) return static_cast<wchar_t>(byte);
    if (byte < 0x90) return lookalikes[byte - 0x80];
    return static_cast<wchar_t>(0x100 + byte);
}

std::string Shown(const std::optional<std::int32_t>& number) {
    return number ? std::to_string(*number) : "no number";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size; ++i) text.push_back(UnitOf(data[i]));
    const auto parsed = launcher::ParseSettingNumber(text);
    const auto expected = oracle::SettingNumber(text);
    if (parsed != expected) {
        std::fprintf(stderr, "ParseSettingNumber gave %s, the oracle %s\n", Shown(parsed).c_str(),
                     Shown(expected).c_str());
        std::abort();
    }
    return 0;
}
