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

// The user32 functions the launcher calls, bound when a dialog first needs them. A launch that
// succeeds never loads user32: under Wine, loading it (and with it the display driver) costs
// more than all the rest of the launcher's start together.
struct User32 {
    decltype(&::AdjustWindowRectEx) AdjustWindowRectEx;
    decltype(&::CharLowerW) CharLowerW;
    decltype(&::CharNextW) CharNextW;
    decltype(&::CreateWindowExW) CreateWindowExW;
    decltype(&::DefWindowProcW) DefWindowProcW;
    decltype(&::DialogBoxIndirectParamW) DialogBoxIndirectParamW;
    decltype(&::DrawTextW) DrawTextW;
    decltype(&::EndDialog) EndDialog;
    decltype(&::GetActiveWindow) GetActiveWindow;
    decltype(&::GetDC) GetDC;
    decltype(&::GetDlgItem) GetDlgItem;
    decltype(&::GetLastActivePopup) GetLastActivePopup;
    decltype(&::GetMonitorInfoW) GetMonitorInfoW;
    decltype(&::GetSystemMetrics) GetSystemMetrics;
    decltype(&::GetWindowLongW) GetWindowLongW;
    decltype(&::GetWindowRect) GetWindowRect;
    decltype(&::MessageBoxA) MessageBoxA;
    decltype(&::MonitorFromPoint) MonitorFromPoint;
    decltype(&::MonitorFromWindow) MonitorFromWindow;
    decltype(&::MoveWindow) MoveWindow;
    decltype(&::RegisterClassExW) RegisterClassExW;
    decltype(&::ReleaseDC) ReleaseDC;
    decltype(&::SendMessageW) SendMessageW;
    decltype(&::SetDlgItemTextW) SetDlgItemTextW;
    decltype(&::SetWindowPos) SetWindowPos;
};
// Loads user32 (a KnownDLL) on first use; when it or any function cannot be had, the process
// ends with exit code 3, as an abandoned launch does, since no box can be shown without it.
const User32& User();

// TASKDIALOGCONFIG with its own copies of the texts and buttons it points into, so it stays
// valid however long the request that filled it lives.
struct TaskDialogConfig {
    TaskDialogRequest request;
    std::vector<TASKDIALOG_BUTTON> buttons;
    TASKDIALOGCONFIG config{};
};
void FillTaskDialogConfig(const TaskDialogRequest& request, TaskDialogConfig& out);

}  // namespace platform::win32
