// The whole launch, from the settings to the command line, on the fake platform with random
// current directories, profile values or config.ini bytes, and registry contents. Whatever it
// is given, the launch must not crash or leak a key or a handle, must start exactly the command
// line worked out below (the pieces joined as they stand, the executable quoted when it holds a
// blank or a tab), and may end abnormally only for a registry value that is not text or cannot
// be read.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "launcher/failure_reporting.h"
#include "launcher/launch_sequence.h"
#include "launcher/module_values.h"
#include "launcher/runtime_selection.h"
#include "platform/fake/fake_platform.h"
#include "tests/fuzz/number_oracle.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "violated: %s\n", what);
        std::abort();
    }
}

// Text built mostly from the characters that matter to paths and to the command line, with
// any UTF-16 unit now and then; a repeat count makes long values cheap to reach.
std::wstring Text(FuzzedDataProvider& in, std::size_t maxUnits) {
    static const wchar_t alphabet[] = L"C:\\ab. \t\"1$x-+0jre\x00e9\x4e2d";
    std::wstring text;
    const std::size_t units = in.ConsumeIntegralInRange<std::size_t>(0, 24);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
        text.push_back(pick < 0xF0 ? alphabet[pick % (sizeof alphabet / sizeof(wchar_t) - 1)]
                                   : static_cast<wchar_t>(in.ConsumeIntegral<std::uint16_t>()));
    }
    const std::size_t repeat = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::size_t>(1, 200) : 1;
    std::wstring repeated;
    for (std::size_t i = 0; i < repeat && repeated.size() + text.size() <= maxUnits; ++i) repeated += text;
    return repeated;
}

// The fake platform's own code page (Latin-1, '?' for everything beyond) turns text into ANSI.
std::string Ansi(const std::wstring& wide) { return platform::WideToAnsi(wide); }
std::wstring Wide(const std::string& ansi) { return platform::AnsiToWide(ansi); }

std::wstring AsProfileDelivers(const std::wstring& value) { return value.substr(0, 2047); }

struct ExpectedHome {
    std::string text;
    bool registryError = false;
};

// What JavaHome reads as, from one view's key.
ExpectedHome HomeFrom(const std::map<std::wstring, fake::RegistryValue>& values, bool openRefused) {
    if (openRefused) return {};
    const auto value = values.find(L"JavaHome");
    if (value == values.end() || value->second.data.empty()) return {};
    if (value->second.dataQueryStatus) return {"", true};
    if (value->second.type != 1 && value->second.type != 2) return {"", true};
    std::wstring text;
    const auto& bytes = value->second.data;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return {Ansi(text)};
}

void FillView(FuzzedDataProvider& in, fake::RegistryView& view, const std::wstring& expectedKey) {
    if (!in.ConsumeBool()) return;
    const std::wstring key = in.ConsumeBool() ? expectedKey : Text(in, 300);
    auto& values = view[key];
    if (!in.ConsumeBool()) return;
    fake::RegistryValue value;
    static const std::uint32_t types[] = {1, 2, 0, 3, 4, 7, 11};
    value.type = in.ConsumeBool() ? types[in.ConsumeIntegralInRange<std::size_t>(0, 6)]
                                  : in.ConsumeIntegral<std::uint32_t>();
    if (in.ConsumeBool()) {
        value.data = fake::Utf16Bytes(Text(in, 600), in.ConsumeBool());
        if (in.ConsumeBool() && !value.data.empty()) value.data.pop_back();  // odd length
    } else {
        value.data = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    }
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) value.dataQueryStatus = 234;
    values[in.ConsumeBool() ? L"JavaHome" : L"javahome"] = value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fake::Reset();
    fake::World& world = fake::world();

    const std::wstring firstDirectory = Text(in, 400);
    const std::wstring secondDirectory = in.ConsumeBool() ? Text(in, 400) : firstDirectory;
    world.directoryReadings = {firstDirectory, secondDirectory};

    std::wstring version, useRegistry, jar;
    const std::wstring settingsPath = firstDirectory + L"\\config.ini";
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
        // Raw bytes for the launcher's own profile reader: it must take whatever a file holds.
        // What it makes of them is checked against the system's reader elsewhere; here the
        // values it delivers are the ones the launch must carry through.
        std::string bytes = in.ConsumeBool() ? "[KELMORA]\r\n" : "";
        bytes += in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 6000));
        world.files[settingsPath].bytes = bytes;
        version = platform::ReadProfileString(L"KELMORA", L"VERSAO_JAVA", L"", 2048, settingsPath);
        useRegistry = platform::ReadProfileString(L"KELMORA", L"USAR_JAVAHOME", L"", 2048, settingsPath);
        jar = platform::ReadProfileString(L"KELMORA", L"NOME_JAR", L"", 2048, settingsPath);
        Require(version.size() <= 2047 && useRegistry.size() <= 2047 && jar.size() <= 2047,
                "values cut at 2047 code units");
    } else if (in.ConsumeBool()) {
        auto& keys = world.files[settingsPath].sections[L"KELMORA"];
        if (in.ConsumeBool()) keys[L"VERSAO_JAVA"] = version = Text(in, 3000);
        if (in.ConsumeBool()) {
            static const wchar_t* const interesting[] = {L"1", L" 1", L"$1", L"-$FFFFFFFF", L"0x1", L"01"};
            keys[L"USAR_JAVAHOME"] = useRegistry =
                in.ConsumeBool() ? interesting[in.ConsumeIntegralInRange<std::size_t>(0, 5)] : Text(in, 40);
        }
        if (in.ConsumeBool()) keys[L"NOME_JAR"] = jar = Text(in, 3000);
    }
    const std::string versionAnsi = Ansi(AsProfileDelivers(version));
    const std::wstring expectedKey =
        Wide("Software\\JavaSoft\\Java Runtime Environment\\" + versionAnsi);
    FillView(in, world.view64, expectedKey);
    FillView(in, world.view32, expectedKey);
    const bool refuseOpen = in.ConsumeBool();
    if (refuseOpen) world.refuseFullAccess.push_back(expectedKey);
    world.processCanStart = in.ConsumeIntegralInRange<int>(0, 3) != 0;
    world.startError = in.ConsumeIntegral<std::uint32_t>();
    world.windowsMajorVersion = in.ConsumeIntegralInRange<std::uint32_t>(4, 11);

    // The command line as it must come out.
    std::string executable = Ansi(firstDirectory) + "\\java\\bin\\javaw.exe";
    bool registryError = false;
    if (oracle::SettingNumber(AsProfileDelivers(useRegistry)).value_or(0) == 1) {
        ExpectedHome home;
        for (const fake::RegistryView* view : {&world.view64, &world.view32}) {
            const auto key = view->find(expectedKey);
            if (key == view->end()) continue;
            home = HomeFrom(key->second, refuseOpen);
            break;
        }
        registryError = home.registryError;
        executable = home.text + "\\bin\\Javaw.exe";
    }
    const bool quoted = executable.find_first_of(" \t") != std::string::npos;
    const std::string commandLine = (quoted ? "\"" + executable + "\"" : executable) +
                                    " -jar -Xmx768m \"" + Ansi(secondDirectory) + "\\" +
                                    Ansi(AsProfileDelivers(jar)) + "\"";

    launcher::FailureReporter reporter(L"C:\\App\\KELMORA.exe", world.windowsMajorVersion);
    bool raised = false;
    try {
        Require(launcher::RunLaunchSequence(reporter) == 0, "the launch returns 0");
    } catch (const fake::ExitRequested& exit) {
        Require(exit.exitCode == 3, "an abandoned launch ends with exit code 3");
        raised = true;
    }

    Require(raised == registryError, "RegistryError exactly for an unusable JavaHome value");
    Require(world.openKeys == 0, "every registry key closed");
    Require(world.openHandles == 0, "every process and thread handle closed");
    if (raised) {
        Require(world.started.empty(), "no child after RegistryError");
        return 0;
    }
    Require(world.started.size() == 1, "one child started");
    if (world.started[0].commandLine != commandLine) {
        std::fprintf(stderr, "started: %s\nexpected: %s\n", world.started[0].commandLine.c_str(),
                     commandLine.c_str());
        std::abort();
    }
    Require(world.started[0].currentDirectory == Ansi(secondDirectory), "the child's directory");
    Require(world.messageBoxes.size() == (world.processCanStart ? 0u : 1u), "one error box per failed start");
    return 0;
}
