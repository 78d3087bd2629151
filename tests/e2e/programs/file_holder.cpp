// file_holder PATH PROGRAM: opens PATH with no sharing at all, so that no other process can
// open it while it is held, then runs PROGRAM in the current directory, waits for it and ends
// with its exit code. Ends with 90 if PATH cannot be opened, 91 if PROGRAM cannot be started.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 90;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(argv[2], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        CloseHandle(held);
        return 91;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(held);
    return static_cast<int>(exitCode);
}
