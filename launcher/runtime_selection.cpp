#include "launcher/runtime_selection.h"

#include <algorithm>

#include "launcher/failure_reporting.h"
#include "launcher/module_values.h"
#include "launcher/text.h"

namespace launcher {

namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;

}  // namespace

void RaiseRegistryError() {
    // Nothing catches this: no later step runs, no key is closed and no child is started.
    ReportAbnormalTermination();
}

bool RegistryReader::ProbeKey(const std::wstring& path) const {
    // KEY_READ less KEY_NOTIFY, keeping only the view flags of the reader's own mask.
    const std::uint32_t probeAccess = (access_ & 0x300u) | 0x20009u;
    // The handle closes as soon as the opening goes out of scope.
    return platform::OpenRegistryKey(root_, path, probeAccess).key != nullptr;
}

bool RegistryReader::OpenExistingKey(const std::wstring& path) {
    platform::KeyOpening opening = platform::OpenRegistryKey(root_, path, access_);
    if (opening.status != 0) return false;
    open_ = std::move(opening.key);
    return true;
}

std::wstring RegistryReader::ReadTextValue(const std::wstring& name) const {
    // Without an open key this asks with a null handle and simply fails: the value reads empty.
    const platform::ValueQuery size = platform::QueryValueSize(open_.get(), name);
    if (size.status != 0 || size.byteCount == 0) return {};

    const platform::ValueQuery value = platform::QueryValueData(open_.get(), name, size.byteCount);
    if (value.status != 0) RaiseRegistryError();  // changed or went away since the size query
    if (value.type != kRegSz && value.type != kRegExpandSz) RaiseRegistryError();

    // Stored strings need not end in a NUL, and may hold one early: take whole UTF-16 units up
    // to the first NUL. An odd last byte is no part of the text. REG_EXPAND_SZ stays unexpanded.
    const std::size_t bytes = std::min<std::size_t>(value.byteCount, value.data.size());
    std::wstring text;
    text.reserve(bytes / 2);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto unit = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}

void SelectJavaRuntime(RegistryReader& reader64, RegistryReader& readerDefault,
                       std::string& javaHomeDirectory, std::string& javaExecutablePath) {
    JreKeyPath = JreKeyBase + JavaVersion;
    javaHomeDirectory.clear();

    const std::wstring keyPath = ToWideText(JreKeyPath);
    // Whatever the 64-bit view's open and read give, a key found there ends the search.
    for (RegistryReader* reader : {&reader64, &readerDefault}) {
        if (!reader->ProbeKey(keyPath)) continue;
        reader->OpenExistingKey(keyPath);
        javaHomeDirectory = ToAnsiPath(reader->ReadTextValue(ToWideText("JavaHome")));
        break;
    }
    // The runtime beside the application is no fallback: an empty home gives "\bin\Javaw.exe".
    javaExecutablePath = javaHomeDirectory + "\\bin\\Javaw.exe";
}

}  // namespace launcher
