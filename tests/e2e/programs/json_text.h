// A JSON string literal for a UTF-16 text, every non-ASCII code unit escaped, so what the test
// programs print or record is plain ASCII whatever the code page.
#pragma once

#include <cstdio>
#include <string>

inline std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            char escaped[8];
            (void)std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
