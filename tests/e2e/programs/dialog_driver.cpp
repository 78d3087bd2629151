// Test-only driver for the launcher's dialogs, run in the same Wine prefix.
//
//   dialog_driver dialogs TIMEOUT_MS TITLE=HOW ...   waits for each visible top-level window
//       titled TITLE in turn, records it and its controls, then closes it by HOW: ok (the OK
//       button), enter, esc (keys to the focused control), close (the close box), and waits for
//       it to go. Prints a JSON array, one object a step.
//   dialog_driver inspect EXE_NAME   times a blocking WM_NULL broadcast (SMTO_BLOCK, 3000 ms)
//       and lists every top-level window, hidden or not, of the processes named EXE_NAME.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "json_text.h"

namespace {

std::wstring Text(HWND window) {
    wchar_t buffer[4096];
    const int n = GetWindowTextW(window, buffer, 4096);
    return std::wstring(buffer, n > 0 ? n : 0);
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[256];
    const int n = GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, n > 0 ? n : 0);
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

BOOL CALLBACK Collect(HWND w, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindVisible(const std::wstring& title) {
    for (HWND w : TopLevelWindows()) {
        if (IsWindowVisible(w) && Text(w) == title) return w;
    }
    return nullptr;
}

std::string Describe(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    std::string out = "{\"title\": " + Json(Text(window)) + ", \"class\": " + Json(ClassOf(window)) +
                      ", \"pid\": " + std::to_string(ProcessOf(window)) +
                      ", \"style\": " + std::to_string(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))) +
                      ", \"exStyle\": " + std::to_string(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))) +
                      ", \"owner\": " + std::to_string(reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER))) +
                      ", \"rect\": [" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
                      std::to_string(r.right) + ", " + std::to_string(r.bottom) + "]";
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& w = monitor.rcWork;
    out += ", \"workArea\": [" + std::to_string(w.left) + ", " + std::to_string(w.top) + ", " +
           std::to_string(w.right) + ", " + std::to_string(w.bottom) + "]";
    return out;
}

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND FindOkButton(HWND dialog) {
    for (HWND child : Children(dialog)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && Text(child) == L"OK") return child;
    }
    return nullptr;
}

bool Close(HWND dialog, const std::wstring& how) {
    if (how == L"ok") {
        HWND ok = FindOkButton(dialog);
        if (ok == nullptr) return false;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ok), BN_CLICKED), reinterpret_cast<LPARAM>(ok));
        return true;
    }
    if (how == L"enter" || how == L"esc") {
        // Keys posted to the focused control go through the dialog's own IsDialogMessage,
        // as a key press would.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        HWND target = info.hwndFocus != nullptr ? info.hwndFocus : dialog;
        const WPARAM key = how == L"enter" ? VK_RETURN : VK_ESCAPE;
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        return true;
    }
    if (how == L"close") {
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    return false;
}

int Dialogs(int argc, wchar_t** argv) {
    const DWORD timeout = std::wcstoul(argv[2], nullptr, 10);
    std::string out = "[";
    for (int i = 3; i < argc; ++i) {
        const std::wstring step = argv[i];
        const std::size_t eq = step.rfind(L'=');
        const std::wstring title = step.substr(0, eq);
        const std::wstring how = step.substr(eq + 1);
        if (i > 3) out += ",\n ";

        HWND dialog = nullptr;
        const DWORD start = GetTickCount();
        while ((dialog = FindVisible(title)) == nullptr && GetTickCount() - start < timeout) Sleep(50);
        if (dialog == nullptr) {
            out += "{\"title\": " + Json(title) + ", \"found\": false}";
            break;
        }
        Sleep(300);  // let it finish laying out
        out += Describe(dialog) + ", \"found\": true, \"controls\": [";
        bool first = true;
        for (HWND child : Children(dialog)) {
            if (!IsWindowVisible(child)) continue;
            out += std::string(first ? "" : ", ") + Describe(child) +
                   ", \"id\": " + std::to_string(GetDlgCtrlID(child)) + "}";
            first = false;
        }
        out += "], \"otherVisible\": [";
        first = true;
        const DWORD pid = ProcessOf(dialog);
        for (HWND w : TopLevelWindows()) {
            if (w != dialog && ProcessOf(w) == pid && IsWindowVisible(w)) {
                out += std::string(first ? "" : ", ") + Json(Text(w));
                first = false;
            }
        }
        out += "]";
        const bool closing = Close(dialog, how);
        const DWORD closeStart = GetTickCount();
        while (closing && IsWindow(dialog) && GetTickCount() - closeStart < timeout) Sleep(50);
        out += std::string(", \"closed\": ") + (IsWindow(dialog) ? "false" : "true") + "}";
    }
    std::printf("%s]\n", out.c_str());
    return 0;
}

int Inspect(const wchar_t* exeName) {
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) == 0) pids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);

    // Listed before the broadcast, which may take seconds while the processes go on.
    std::string windows;
    bool first = true;
    for (HWND w : TopLevelWindows()) {
        const DWORD pid = ProcessOf(w);
        for (DWORD p : pids) {
            if (p != pid) continue;
            windows += std::string(first ? "" : ", ") + Describe(w) + ", \"visible\": " +
                   (IsWindowVisible(w) ? "true" : "false") + "}";
            first = false;
        }
    }
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_NULL, 0, 0, SMTO_BLOCK, 3000, &result);
    QueryPerformanceCounter(&after);
    const long long ms = (after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart;

    std::string out = "{\"broadcastMs\": " + std::to_string(ms) + ", \"pids\": [";
    for (std::size_t i = 0; i < pids.size(); ++i) out += (i ? ", " : "") + std::to_string(pids[i]);
    out += "], \"windows\": [" + windows;
    std::printf("%s]}\n", out.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"dialogs") == 0) return Dialogs(argc, argv);
    if (argc == 3 && std::wcscmp(argv[1], L"inspect") == 0) return Inspect(argv[2]);
    (void)std::fprintf(stderr, "usage: dialog_driver dialogs TIMEOUT_MS TITLE=HOW... | inspect EXE_NAME\n");
    return 2;
}
