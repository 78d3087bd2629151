// The least any launcher must do: CreateProcessA on a command line and wait for the child.
// The command line is SPAWN_COMMAND_LINE when set (Wine would quote an argument with blanks
// on its way in), else this program's own command-line tail. Used as a control in the end-to-end tests and as
// the floor in the start-up benchmark.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR tail, int) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    char fromEnvironment[32768];
    const DWORD length = GetEnvironmentVariableA("SPAWN_COMMAND_LINE", fromEnvironment, 32768);
    char* commandLine = length > 0 && length < 32768 ? fromEnvironment : tail;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        return 1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return 0;
}
