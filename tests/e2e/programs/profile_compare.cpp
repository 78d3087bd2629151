// Test-only: reads every *.ini file of a folder with the launcher's own profile reader and with
// the system's GetPrivateProfileStringW, for the names the tests ask about, and prints one JSON
// line per reading on which the two differ, then a line with the number of readings compared.
// Given a second folder, the system reads the file of the same name there instead (the same
// text in another encoding, say).
//
//   profile_compare FOLDER [SYSTEM_FOLDER]
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "json_text.h"
#include "platform/win32/win32.h"

int wmain(int argc, wchar_t** argv) {
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
