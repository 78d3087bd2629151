// Test-only: reads a file's version record the way Explorer's properties page does
// (GetFileVersionInfoW / VerQueryValueW) and prints what a user would see, one line a field.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0) return 1;
    static BYTE block[65536];
    if (size > sizeof block || !GetFileVersionInfoW(argv[1], 0, size, block)) return 1;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        std::printf("FileVersion=%u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                    unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                    unsigned{LOWORD(fixed->dwFileVersionLS)});
    }
    for (const wchar_t* name : {L"FileDescription", L"ProductName", L"ProductVersion", L"ProgramID"}) {
        wchar_t query[128];
        (void)swprintf(query, 128, L"\\StringFileInfo\\040904E4\\%ls", name);
        wchar_t* value = nullptr;
        if (VerQueryValueW(block, query, reinterpret_cast<void**>(&value), &length)) {
            std::printf("%ls=%ls\n", name, value);
        }
    }
    return 0;
}
