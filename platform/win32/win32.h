// Shared by the Windows implementation files: the Windows headers with the settings the
// launcher builds against, and small helpers. Only platform/win32 includes this.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "platform/platform.h"

namespace platform::win32 {

// GetProcAddress returns a FARPROC; going through a plain function-pointer type keeps GCC's
// -Wcast-function-type quiet without hiding a real mismatch at the call site.
template <typename Function>
Function ProcAddress(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loads a DLL from the system directory only, never from the executable's folder or the
// current directory, where a planted copy could lie.
HMODULE LoadSystemLibrary(const wchar_t* name);

// TASKDIALOGCONFIG with its own copies of the texts and buttons it points into, so it stays
// valid however long the request that filled it lives.
struct TaskDialogConfig {
    TaskDialogRequest request;
    std::vector<TASKDIALOG_BUTTON> buttons;
    TASKDIALOGCONFIG config{};
};
void FillTaskDialogConfig(const TaskDialogRequest& request, TaskDialogConfig& out);

}  // namespace platform::win32
