// Message boxes, the hidden owner window and the two forms of the command-line dialog.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <string>

#include "platform/geometry.h"
#include "platform/win32/win32.h"

static_assert(sizeof(TASKDIALOGCONFIG) == 96, "32-bit TASKDIALOGCONFIG expected");

namespace platform {

namespace win32 {

HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without the search flags (Vista, 7 without KB2533623) reject it with
    // ERROR_INVALID_PARAMETER: fall back to the full path, which no search order can redirect.
    // Built on the stack: the termination box loads user32 this way when memory has run out.
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        wchar_t path[MAX_PATH + 32];
        const UINT length = GetSystemDirectoryW(path, MAX_PATH);
        const std::size_t nameLength = std::wcslen(name);
        if (length == 0 || length >= MAX_PATH || nameLength > 30) return nullptr;
        path[length] = L'\\';
        std::wmemcpy(path + length + 1, name, nameLength + 1);
        module = LoadLibraryW(path);
    }
    return module;
}

const User32& User() {
    static const User32 functions = [] {
        const HMODULE module = LoadSystemLibrary(L"user32.dll");
        User32 f{};
        bool complete = module != nullptr;
        const auto bind = [&](auto& slot, const char* name) {
            slot = ProcAddress<std::remove_reference_t<decltype(slot)>>(module, name);
            complete = complete && slot != nullptr;
        };
#define KELMORA_BIND(name) bind(f.name, #name)
        KELMORA_BIND(AdjustWindowRectEx);
        KELMORA_BIND(CharLowerW);
        KELMORA_BIND(CharNextW);
        KELMORA_BIND(CreateWindowExW);
        KELMORA_BIND(DefWindowProcW);
        KELMORA_BIND(DialogBoxIndirectParamW);
        KELMORA_BIND(DrawTextW);
        KELMORA_BIND(EndDialog);
        KELMORA_BIND(GetActiveWindow);
        KELMORA_BIND(GetDC);
        KELMORA_BIND(GetDlgItem);
        KELMORA_BIND(GetLastActivePopup);
        KELMORA_BIND(GetMonitorInfoW);
        KELMORA_BIND(GetSystemMetrics);
        KELMORA_BIND(GetWindowLongW);
        KELMORA_BIND(GetWindowRect);
        KELMORA_BIND(MessageBoxA);
        KELMORA_BIND(MonitorFromPoint);
        KELMORA_BIND(MonitorFromWindow);
        KELMORA_BIND(MoveWindow);
        KELMORA_BIND(RegisterClassExW);
        KELMORA_BIND(ReleaseDC);
        KELMORA_BIND(SendMessageW);
        KELMORA_BIND(SetDlgItemTextW);
        KELMORA_BIND(SetWindowPos);
#undef KELMORA_BIND
        // Without user32 not even the termination box can be shown: end as it would, code 3.
        if (!complete) ExitProcess(3);
        return f;
    }();
    return functions;
}

namespace {

Rect ToRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

void CentreInWorkAreaOf(HWND window, HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;  // 40
    User().GetMonitorInfoW(monitor, &info);
    RECT bounds{};
    User().GetWindowRect(window, &bounds);
    const Point origin = CentredOrigin(ToRect(info.rcWork), ToRect(bounds));
    User().SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HRESULT CALLBACK TaskDialogNotification(HWND dialog, UINT notification, WPARAM, LPARAM,
                                        LONG_PTR owner) {
    // TDN_CREATED comes after the window exists and before it is shown, so it never jumps.
    if (notification == TDN_CREATED) {
        CentreInWorkAreaOf(dialog, User().MonitorFromWindow(reinterpret_cast<HWND>(owner),
                                                            MONITOR_DEFAULTTONEAREST));
    }
    return S_OK;
}

}  // namespace

void FillTaskDialogConfig(const TaskDialogRequest& request, TaskDialogConfig& out) {
    out.request = request;
    const TaskDialogRequest& kept = out.request;
    out.buttons.clear();
    for (const TaskDialogButton& button : kept.buttons) {
        out.buttons.push_back(TASKDIALOG_BUTTON{button.id, button.text.c_str()});
    }
    TASKDIALOGCONFIG& c = out.config;
    c = TASKDIALOGCONFIG{};
    c.cbSize = sizeof c;
    c.hwndParent = kept.owner;
    c.dwFlags = static_cast<TASKDIALOG_FLAGS>(kept.flags);
    c.dwCommonButtons = static_cast<TASKDIALOG_COMMON_BUTTON_FLAGS>(kept.commonButtons);
    c.pszWindowTitle = kept.windowTitle.c_str();
    c.pszContent = kept.content.c_str();
    c.cButtons = static_cast<UINT>(out.buttons.size());
    c.pButtons = out.buttons.empty() ? nullptr : out.buttons.data();
    c.nDefaultButton = kept.defaultButton;
    c.cxWidth = kept.width;
    if (kept.centreOnOwnerMonitor) {
        c.pfCallback = TaskDialogNotification;
        c.lpCallbackData = reinterpret_cast<LONG_PTR>(kept.owner);
    }
}

}  // namespace win32

void ShowMessageBox(const char* text, const char* caption, std::uint32_t type) {
    win32::User().MessageBoxA(nullptr, text, caption, type);
}

std::optional<std::uint32_t> CommonControlsVersion() {
    // version.dll is no KnownDLL: importing it statically would load a copy planted beside the
    // executable or in the current directory. Load it from the system directory by hand.
    HMODULE version = win32::LoadSystemLibrary(L"version.dll");
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    const auto getSize = win32::ProcAddress<SizeFn>(version, "GetFileVersionInfoSizeW");
    const auto getInfo = win32::ProcAddress<InfoFn>(version, "GetFileVersionInfoW");
    const auto query = win32::ProcAddress<QueryFn>(version, "VerQueryValueW");

    std::optional<std::uint32_t> result;
    if (getSize && getInfo && query) {
        DWORD ignored = 0;
        const DWORD size = getSize(L"comctl32.dll", &ignored);
        std::vector<BYTE> block(size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (size != 0 && getInfo(L"comctl32.dll", 0, size, block.data()) &&
            query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length) &&
            fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO)) {
            result = fixed->dwFileVersionMS;
        }
    }
    if (version != nullptr) FreeLibrary(version);
    return result;
}

WindowHandle CreateHiddenMainWindow(const std::wstring& title) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = win32::User().DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"KelmoraMainWindow";
    win32::User().RegisterClassExW(&windowClass);
    // WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, never WS_VISIBLE.
    return win32::User().CreateWindowExW(
        WS_EX_TOOLWINDOW, windowClass.lpszClassName, title.c_str(), 0x84CA0000,
        win32::User().GetSystemMetrics(SM_CXSCREEN) / 2,
        win32::User().GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, instance, nullptr);
}

WindowHandle ActiveWindow() { return win32::User().GetActiveWindow(); }

WindowHandle LastActivePopup(WindowHandle window) {
    return win32::User().GetLastActivePopup(window);
}

void LoadCommonControls() {
    // A bare name, as the manifest's activation context resolves it: to the version 6
    // side-by-side assembly, before any folder is searched, so no planted copy can win. A full
    // System32 path is never redirected and would load version 5.82, which has no task dialog:
    // so where the search flags are refused, the fallback is the bare name, not the path.
    // The module stays loaded for the rest of the process.
    if (LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) == nullptr &&
        GetLastError() == ERROR_INVALID_PARAMETER) {
        LoadLibraryW(L"comctl32.dll");
    }
}

long ShowTaskDialog(const TaskDialogRequest& request) {
    using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    const auto taskDialogIndirect = win32::ProcAddress<TaskDialogIndirectFn>(
        GetModuleHandleW(L"comctl32.dll"), "TaskDialogIndirect");
    if (taskDialogIndirect == nullptr) return E_NOTIMPL;

    win32::TaskDialogConfig config;
    win32::FillTaskDialogConfig(request, config);
    int button = 0;
    int radio = 0;
    BOOL verified = FALSE;
    return taskDialogIndirect(&config.config, &button, &radio, &verified);
}

// ---- The plain dialog -------------------------------------------------------------------

namespace {

constexpr int kLabelId = 100;
constexpr int kMargin = 12;
constexpr int kGap = 12;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;

// A dialog template in memory: header, then each item, every item aligned to a DWORD.
class DialogTemplate {
public:
    void Header(DWORD style, const std::wstring& title, WORD items) {
        Add(style);
        Add(DWORD{0});  // extended style
        Add(items);
        Add(short{0}), Add(short{0}), Add(short{10}), Add(short{10});  // resized when shown
        Add(WORD{0});                                                  // no menu
        Add(WORD{0});                                                  // default dialog class
        AddText(title);
        Add(WORD{8});  // point size, with DS_SETFONT
        AddText(L"MS Shell Dlg");
    }

    void Item(DWORD style, WORD id, WORD classAtom, const std::wstring& text) {
        Align();
        Add(style);
        Add(DWORD{0});
        Add(short{0}), Add(short{0}), Add(short{1}), Add(short{1});
        Add(id);
        Add(WORD{0xFFFF});
        Add(classAtom);
        AddText(text);
        Add(WORD{0});  // no creation data
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    template <typename T>
    void Add(T value) {
        WORD parts[sizeof(T) / sizeof(WORD)];  // NOLINT(bugprone-sizeof-expression): T is a value
        std::memcpy(parts, &value, sizeof value);
        words_.insert(words_.end(), std::begin(parts), std::end(parts));
    }
    void AddText(const std::wstring& text) {
        for (wchar_t c : text) words_.push_back(static_cast<WORD>(c));
        words_.push_back(0);
    }
    void Align() {
        if (words_.size() % 2 != 0) words_.push_back(0);
    }

    std::vector<WORD> words_;  // a vector of WORDs starts DWORD-aligned
};

struct PlainDialogText {
    const std::wstring* text;
};

void LayOutPlainDialog(HWND dialog, const std::wstring& text) {
    HWND label = win32::User().GetDlgItem(dialog, kLabelId);
    HWND button = win32::User().GetDlgItem(dialog, IDOK);
    // SelectObject is taken from the gdi32 that user32 has already loaded, so the import table
    // stays limited to the DLLs the launcher needs anyway.
    using SelectObjectFn = HGDIOBJ(WINAPI*)(HDC, HGDIOBJ);
    const auto selectObject =
        win32::ProcAddress<SelectObjectFn>(GetModuleHandleW(L"gdi32.dll"), "SelectObject");
    HDC dc = win32::User().GetDC(label);
    const auto dialogFont =
        reinterpret_cast<HGDIOBJ>(win32::User().SendMessageW(dialog, WM_GETFONT, 0, 0));
    HGDIOBJ previousFont = selectObject && dialogFont ? selectObject(dc, dialogFont) : nullptr;
    // No wider than half the primary screen; long unbroken paths wrap like an edit control does.
    RECT textRect{0, 0, win32::User().GetSystemMetrics(SM_CXSCREEN) / 2 - 2 * kMargin, 0};
    win32::User().DrawTextW(
        dc, text.c_str(), static_cast<int>(text.size()), &textRect,
        DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    if (previousFont != nullptr) selectObject(dc, previousFont);
    win32::User().ReleaseDC(label, dc);

    const int labelWidth = textRect.right - textRect.left;
    const int labelHeight = textRect.bottom - textRect.top;
    const int clientWidth = std::max(labelWidth, kButtonWidth) + 2 * kMargin;
    const int clientHeight = kMargin + labelHeight + kGap + kButtonHeight + kMargin;
    win32::User().MoveWindow(label, kMargin, kMargin, labelWidth, labelHeight, FALSE);
    win32::User().MoveWindow(button, (clientWidth - kButtonWidth) / 2, kMargin + labelHeight + kGap,
                             kButtonWidth, kButtonHeight, FALSE);

    RECT frame{0, 0, clientWidth, clientHeight};
    win32::User().AdjustWindowRectEx(
        &frame, static_cast<DWORD>(win32::User().GetWindowLongW(dialog, GWL_STYLE)), FALSE,
        static_cast<DWORD>(win32::User().GetWindowLongW(dialog, GWL_EXSTYLE)));
    win32::User().SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left,
                               frame.bottom - frame.top,
                               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    win32::CentreInWorkAreaOf(
        dialog, win32::User().MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
}

INT_PTR CALLBACK PlainDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* text = reinterpret_cast<const PlainDialogText*>(lParam)->text;
            // Set here rather than in the template: a template text holding "\xFFFF" would be
            // read as a resource id.
            win32::User().SetDlgItemTextW(dialog, kLabelId, text->c_str());
            LayOutPlainDialog(dialog, *text);
            return TRUE;  // focus goes to the default button
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
                win32::User().EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            win32::User().EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowPlainDialog(WindowHandle owner, const std::wstring& title, const std::wstring& text) {
    DialogTemplate dialog;
    dialog.Header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, title, 2);
    // SS_NOPREFIX: an "&" in a path is shown, not taken as a mnemonic.
    dialog.Item(WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kLabelId, 0x0082,
                L"");
    dialog.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 0x0080, L"OK");
    PlainDialogText context{&text};
    win32::User().DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner,
                                          PlainDialogProcedure, reinterpret_cast<LPARAM>(&context));
}

}  // namespace platform
