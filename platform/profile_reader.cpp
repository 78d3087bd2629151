#include "platform/profile_reader.h"

#include <algorithm>

#include "platform/platform.h"

namespace platform::profile {

namespace {

// Decodes one UTF-8 sequence at `i`: its code point, or nothing for a byte that starts no
// well-formed sequence (overlong forms, surrogates and values past U+10FFFF included).
std::optional<char32_t> NextUtf8(std::string_view bytes, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t point = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07u, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (bytes.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0u) != 0x80u) return std::nullopt;
        point = (point << 6) | (next & 0x3Fu);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return std::nullopt;
    i += length;
    return point;
}

void AppendUtf16(std::wstring& out, char32_t point) {
    if (point < 0x10000) {
        out.push_back(static_cast<wchar_t>(point));
    } else {
        point -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (point >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (point & 0x3FF)));
    }
}

// Each byte that starts no well-formed sequence becomes U+FFFD.
std::wstring DecodeUtf8(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::optional<char32_t> point = NextUtf8(bytes, i)) {
            AppendUtf16(out, *point);
        } else {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
        }
    }
    return out;
}

enum class Utf8Form {
    kNone,          // not valid UTF-8
    kAscii,         // ASCII alone, which reads the same in every code page anyway
    kTwoByteOnly,   // beyond ASCII only in sequences of two bytes (Latin, Greek, Cyrillic, ...)
    kLongSequence,  // with a sequence of three or four bytes (every CJK character, the euro)
};

Utf8Form Utf8FormOf(std::string_view bytes) {
    Utf8Form form = Utf8Form::kAscii;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t at = i;
        const std::optional<char32_t> point = NextUtf8(bytes, i);
        if (!point) return Utf8Form::kNone;
        if (i - at > 2) {
            form = Utf8Form::kLongSequence;
        } else if (i - at == 2 && form == Utf8Form::kAscii) {
            form = Utf8Form::kTwoByteOnly;
        }
    }
    return form;
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    // An odd last byte is no part of the text.
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return out;
}

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

// The blanks the system's reader drops around names and values: tab, line feed, vertical tab,
// form feed, carriage return, space, and Ctrl+Z (an old end-of-file mark).
bool IsBlank(wchar_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::wstring_view UpToNul(std::wstring_view text) { return text.substr(0, text.find(L'\0')); }

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

// A name in the file ends at a NUL, as the system's reader compares C strings.
bool SameName(std::wstring_view inFile, std::wstring_view wanted) {
    inFile = UpToNul(inFile);
    if (inFile.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < inFile.size(); ++i) {
        if (AsciiUpper(inFile[i]) != AsciiUpper(wanted[i])) return false;
    }
    return true;
}

}  // namespace

std::wstring DecodeFileText(std::string_view bytes) {
    if (StartsWith(bytes, "\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return DecodeUtf8(bytes.substr(3));
    switch (Utf8FormOf(bytes)) {
        case Utf8Form::kLongSequence:
            return DecodeUtf8(bytes);
        case Utf8Form::kTwoByteOnly:
            // In a single-byte code page such bytes almost never form valid UTF-8 by chance. In
            // a double-byte one they often do (many a GBK hanzi is, on its own, a two-byte UTF-8
            // sequence), while UTF-8 text of those scripts always holds three-byte sequences:
            // there, two-byte sequences alone are ANSI unless the code page cannot read them.
            if (AnsiCodePageIsDoubleByte()) {
                if (std::optional<std::wstring> ansi = AnsiToWideStrict(std::string(bytes))) return *ansi;
            }
            return DecodeUtf8(bytes);
        case Utf8Form::kAscii:
        case Utf8Form::kNone:
            break;
    }
    return AnsiToWide(std::string(bytes));
}

std::optional<std::wstring> FindValue(std::wstring_view text, std::wstring_view section,
                                      std::wstring_view key) {
    bool inSection = false;
    std::size_t next = 0;
    while (next < text.size()) {
        // A line ends at CR or LF, however many of them follow each other.
        const std::size_t start = next;
        const std::size_t end = std::min(text.find_first_of(L"\r\n", start), text.size());
        next = std::min(text.find_first_not_of(L"\r\n", end), text.size());
        const std::wstring_view line = Trimmed(text.substr(start, end - start));
        if (line.empty()) continue;

        // "[name]", blanks around the name dropped: anything after the ']' is ignored. Without
        // a ']' the line is no section line and reads as a key line of the section it stands in.
        if (line.front() == L'[') {
            if (const std::size_t close = line.find(L']', 1); close != std::wstring_view::npos) {
                // Only the first section of the name counts: a second one is never read.
                if (inSection) return std::nullopt;
                inSection = SameName(Trimmed(line.substr(1, close - 1)), section);
                continue;
            }
        }
        if (!inSection) continue;

        const std::size_t equals = line.find(L'=');
        if (!SameName(Trimmed(line.substr(0, equals)), key)) continue;
        // The first line of the key decides, even when it has no value at all.
        if (equals == std::wstring_view::npos) return std::nullopt;
        std::wstring_view value = UpToNul(Trimmed(line.substr(equals + 1)));
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::wstring(value);
    }
    return std::nullopt;
}

std::wstring ReadValue(const std::optional<std::string>& bytes, std::wstring_view section,
                       std::wstring_view key, std::wstring_view fallback, std::uint32_t capacity) {
    if (capacity == 0) return {};
    std::optional<std::wstring> value;
    if (bytes && WithinSizeBound(bytes->size())) value = FindValue(DecodeFileText(*bytes), section, key);
    std::wstring result = value.value_or(std::wstring(fallback));
    if (result.size() > capacity - 1) result.resize(capacity - 1);
    return result;
}

}  // namespace platform::profile
