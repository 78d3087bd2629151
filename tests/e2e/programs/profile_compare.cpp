// Test-only: reads every *.ini file of a folder with the launcher's own profile reader and with
// the system's GetPrivateProfileStringW, for the names the tests ask about, and prints one JSON
// line per reading on which the two differ, then a line with the number of readings compared.
// Given a second folder, the system reads the file of the same name there instead (the same
// text in another encoding, say).
//
//   profile_compare FOLDER [SYSTEM_FOLDER]
//   profile_compare --ansi FOLDER   prints, for every *.ini file, whether the system's own
//       conversion (MultiByteToWideChar in the ANSI code page, MB_ERR_INVALID_CHARS) takes its
//       bytes: the tests predict the reader's choice of encoding from this, not from another
//       library's code page tables, which differ from Windows' on some byte pairs.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "json_text.h"
#include "platform/win32/win32.h"

namespace {

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

int AnsiValidity(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 3;
    do {
        const std::string bytes = FileBytes(folder + L"\\" + found.cFileName);
        const bool valid = bytes.empty() ||
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                nullptr, 0) > 0;
        if (std::printf("{\"file\": %s, \"ansiValid\": %s}\n", Json(found.cFileName).c_str(),
                        valid ? "true" : "false") < 0) {
            return 4;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--ansi") return AnsiValidity(argv[2]);
    if (argc != 2 && argc != 3) return 2;
    const std::wstring folder = argv[1];
    const std::wstring systemFolder = argv[argc - 1];
    const std::vector<std::pair<std::wstring, std::wstring>> names = {
        {L"KELMORA", L"VERSAO_JAVA"}, {L"KELMORA", L"USAR_JAVAHOME"}, {L"KELMORA", L"NOME_JAR"},
        {L"S", L"K"}, {L"S", L"k2"}};
    constexpr DWORD kCapacity = 2048;

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 3;
    long compared = 0;
    do {
        const std::wstring path = folder + L"\\" + found.cFileName;
        const std::wstring systemPath = systemFolder + L"\\" + found.cFileName;
        for (const auto& [section, key] : names) {
            const std::wstring ours = platform::ReadProfileString(section, key, L"", kCapacity, path);
            std::wstring system(kCapacity, L'\0');
            const DWORD count = GetPrivateProfileStringW(section.c_str(), key.c_str(), L"",
                                                         system.data(), kCapacity, systemPath.c_str());
            system.resize(count < kCapacity ? count : 0);
            ++compared;
            if (ours == system) continue;
            if (std::printf("{\"file\": %s, \"section\": %s, \"key\": %s, \"ours\": %s, \"system\": %s}\n",
                            Json(found.cFileName).c_str(), Json(section).c_str(), Json(key).c_str(),
                            Json(ours).c_str(), Json(system).c_str()) < 0) {
                return 4;
            }
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return std::printf("{\"compared\": %ld}\n", compared) < 0 ? 4 : 0;
}
