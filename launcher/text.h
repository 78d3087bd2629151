// The two text forms the launcher works in: AnsiText (std::string, ANSI code page) for paths and
// the command line, WideText (std::wstring, UTF-16) for what the UTF-16 system calls take and give.
#pragma once

#include <string>

namespace launcher {

std::string ToAnsiText(const std::wstring& wide);
std::wstring ToWideText(const std::string& ansi);

// `path` as ANSI text that still names the same file: where a name in it has no exact form in
// the code page, its short (8.3) name stands in, looked up as `lookupPrefix` + the path up to
// that name. A path the code page holds comes back exactly as ToAnsiText gives it, with no
// lookup; one that cannot be mended (no short names there, a path that does not exist) too.
std::string ToAnsiPath(const std::wstring& path, const std::wstring& lookupPrefix = {});

}  // namespace launcher
