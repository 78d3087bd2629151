// The two text forms the launcher works in: AnsiText (std::string, ANSI code page) for paths and
// the command line, WideText (std::wstring, UTF-16) for what the UTF-16 system calls take and give.
#pragma once

#include <string>

namespace launcher {

std::string ToAnsiText(const std::wstring& wide);
std::wstring ToWideText(const std::string& ansi);

}  // namespace launcher
