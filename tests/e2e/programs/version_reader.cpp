// Test-only: reads a file's version record the way Explorer's properties page does
// (GetFileVersionInfoW / VerQueryValueW) and prints what a user would see, one line a field,
// in UTF-8: the fixed part's versions, then each string of the 040904E4 table that is there.
//   version_reader --icons FILE   what the shell's own extraction (ExtractIconExW) finds: the
//       number of icon groups, and of the first group's large icon its size and the colour of
//       its centre pixel (RRGGBB).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <tuple>

namespace {

// name=value in UTF-8, whatever the console's code page.
void PrintField(const wchar_t* name, const wchar_t* value) {
    static char bytes[2][4096];
    if (WideCharToMultiByte(CP_UTF8, 0, name, -1, bytes[0], sizeof bytes[0], nullptr, nullptr) > 0 &&
        WideCharToMultiByte(CP_UTF8, 0, value, -1, bytes[1], sizeof bytes[1], nullptr, nullptr) > 0) {
        std::printf("%s=%s\n", bytes[0], bytes[1]);
    }
}

int Icons(const wchar_t* file) {
    const UINT groups = ExtractIconExW(file, -1, nullptr, nullptr, 0);
    std::printf("IconGroups=%u\n", groups);
    HICON large = nullptr;
    if (groups == 0 || ExtractIconExW(file, 0, &large, nullptr, 1) == 0 || large == nullptr) return 0;
    ICONINFO info{};
    BITMAP bitmap{};
    if (GetIconInfo(large, &info) && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
        BITMAPINFO request{};
        request.bmiHeader.biSize = sizeof request.bmiHeader;
        request.bmiHeader.biWidth = bitmap.bmWidth;
        request.bmiHeader.biHeight = bitmap.bmHeight;
        request.bmiHeader.biPlanes = 1;
        request.bmiHeader.biBitCount = 32;
        static DWORD pixels[256 * 256];
        HDC screen = GetDC(nullptr);
        if (bitmap.bmWidth * bitmap.bmHeight <= 256 * 256 &&
            GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels, &request, DIB_RGB_COLORS)) {
            const DWORD centre = pixels[(bitmap.bmHeight / 2) * bitmap.bmWidth + bitmap.bmWidth / 2];
            std::printf("LargeIcon=%ldx%ld\nCentre=%06lx\n", bitmap.bmWidth, bitmap.bmHeight,
                        static_cast<unsigned long>(centre & 0xFFFFFF));
        }
        ReleaseDC(nullptr, screen);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--icons") == 0) return Icons(argv[2]);
    if (argc < 2) return 2;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0) return 1;
    static BYTE block[65536];
    if (size > sizeof block || !GetFileVersionInfoW(argv[1], 0, size, block)) return 1;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        for (const auto& [name, high, low] : {std::tuple{"Fixed.FileVersion", fixed->dwFileVersionMS,
                                                          fixed->dwFileVersionLS},
                                              std::tuple{"Fixed.ProductVersion", fixed->dwProductVersionMS,
                                                         fixed->dwProductVersionLS}}) {
            std::printf("%s=%u.%u.%u.%u\n", name, unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
                        unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
        }
    }
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
                                L"OriginalFilename", L"ProductName", L"ProductVersion", L"ProgramID"}) {
        wchar_t query[128];
        (void)swprintf(query, 128, L"\\StringFileInfo\\040904E4\\%ls", name);
        wchar_t* value = nullptr;
        if (VerQueryValueW(block, query, reinterpret_cast<void**>(&value), &length)) {
            PrintField(name, value);
        }
    }
    return 0;
}
