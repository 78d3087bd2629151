#include "launcher/text.h"

#include <algorithm>

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

namespace {

// Narrowing never best-fits, so a character the code page lacks comes out as '?' (a name no
// file can have) and does not widen back to itself. Code pages that refuse the no-best-fit
// flag (UTF-8, GB18030) hold every character, so the test holds for them too.
bool NarrowsExactly(const std::wstring& wide, const std::string& ansi) {
    return ToWideText(ansi) == wide;
}

}  // namespace

std::string ToAnsiPath(const std::wstring& path, const std::wstring& lookupPrefix) {
    std::string ansi = ToAnsiText(path);
    if (NarrowsExactly(path, ansi)) return ansi;

    // Only the names the code page cannot hold are replaced: "Program Files" stays, so the
    // runtime's path is still quoted and every name that worked before is byte for byte kept.
    // The short name of a name is the last name of the short form of the path up to it. A name
    // is never cached or guessed: its short form differs between machines and changes when the
    // folder is made again.
    std::wstring mended;
    mended.reserve(path.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(path.find_first_of(L"\\/", start), path.size());
        std::wstring name = path.substr(start, end - start);
        if (!NarrowsExactly(name, ToAnsiText(name))) {
            const auto shortPath = platform::ShortPathName(lookupPrefix + path.substr(0, end));
            if (!shortPath) return ansi;
            name = shortPath->substr(shortPath->find_last_of(L"\\/") + 1);  // npos + 1 is 0
            if (name.empty()) return ansi;
        }
        mended += name;
        if (end == path.size()) break;
        mended += path[end];
        start = end + 1;
    }
    // Short names off for the volume give the long name back, which still does not narrow.
    std::string result = ToAnsiText(mended);
    return NarrowsExactly(mended, result) ? result : ansi;
}

}  // namespace launcher
