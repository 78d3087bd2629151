#include "launcher/text.h"

#include "platform/platform.h"

namespace launcher {

std::string ToAnsiText(const std::wstring& wide) {
    if (wide.empty()) return {};
    return platform::WideToAnsi(wide);
}

std::wstring ToWideText(const std::string& ansi) {
    if (ansi.empty()) return {};
    return platform::AnsiToWide(ansi);
}

}  // namespace launcher
