#include <string>

#include "fake_world.h"
#include "launcher/failure_reporting.h"
#include "launcher/launch_sequence.h"
#include "launcher/runtime_selection.h"

extern "C" int WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int);  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the Windows name

namespace {

class LaunchSequenceTest : public FakeWorldTest {
protected:
    int Run() {
        launcher::FailureReporter reporter(L"C:\\App\\KELMORA.exe", 10);
        return launcher::RunLaunchSequence(reporter);
    }

    std::string CommandLine() {
        EXPECT_EQ(World().started.size(), 1u);
        return World().started.empty() ? "" : World().started[0].commandLine;
    }
};

TEST_F(LaunchSequenceTest, RunsTheOverviewExampleInOrder) {
    WriteConfig(L"C:\\App\\config.ini", {{L"USAR_JAVAHOME", L"0"}, {L"NOME_JAR", L"app.jar"}});
    EXPECT_EQ(Run(), 0);
    const auto& calls = World().calls;
    const std::vector<std::string> expectedPrefixes = {
        "GetCurrentDirectory",
        "GetPrivateProfileString C:\\App\\config.ini [KELMORA] VERSAO_JAVA",
        "GetPrivateProfileString C:\\App\\config.ini [KELMORA] USAR_JAVAHOME",
        "GetPrivateProfileString C:\\App\\config.ini [KELMORA] NOME_JAR",
        "GetCurrentDirectory",
        "SetCurrentDirectory C:\\App",
        "CreateProcess C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\app.jar\"",
        "process ",
        "Wait ",
        "CloseHandle ",
        "CloseHandle ",
    };
    ASSERT_EQ(calls.size(), expectedPrefixes.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].rfind(expectedPrefixes[i], 0), 0u) << calls[i];
    }
    EXPECT_EQ(World().started[0].currentDirectory, "C:\\App");
}

TEST_F(LaunchSequenceTest, TheSecondDirectoryReadingBuildsTheCommandLine) {
    World().directoryReadings = {L"C:\\First", L"C:\\Second"};
    WriteConfig(L"C:\\First\\config.ini", {{L"NOME_JAR", L"app.jar"}});
    Run();
    // The runtime path comes from the first reading, the archive and directory from the second.
    EXPECT_EQ(CommandLine(), "C:\\First\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\Second\\app.jar\"");
    EXPECT_EQ(World().started[0].currentDirectory, "C:\\Second");
    EXPECT_EQ(CallsStartingWith("SetCurrentDirectory"),
              std::vector<std::string>{"SetCurrentDirectory C:\\Second"});
}

TEST_F(LaunchSequenceTest, VersionIsStoredEvenWhenTheRegistryIsNotAsked) {
    WriteConfig(L"C:\\App\\config.ini", {{L"VERSAO_JAVA", L"1.8"}, {L"USAR_JAVAHOME", L"0"}});
    Run();
    EXPECT_EQ(launcher::JavaVersion, "1.8");
    EXPECT_EQ(launcher::JreKeyPath, "");
}

TEST_F(LaunchSequenceTest, OnlyExactlyOneTouchesTheRegistry) {
    for (const wchar_t* value : {L"0", L"2", L"-1", L"", L"true", L"1.0", L"1 "}) {
        fake::Reset();
        launcher::JreKeyPath.clear();
        WriteConfig(L"C:\\App\\config.ini", {{L"USAR_JAVAHOME", value}, {L"NOME_JAR", L"a.jar"}});
        World().view64[L"Software\\JavaSoft\\Java Runtime Environment\\"][L"JavaHome"] =
            fake::RegistryValue{1, fake::Utf16Bytes(L"C:\\Reg"), {}};
        Run();
        EXPECT_TRUE(CallsStartingWith("Reg").empty());
        EXPECT_EQ(CommandLine(), "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\a.jar\"");
        EXPECT_EQ(launcher::JreKeyPath, "");
    }
    for (const wchar_t* value : {L"1", L"01", L"+1", L" 1", L"0x1", L"$1", L"x1", L"-$FFFFFFFF"}) {
        fake::Reset();
        WriteConfig(L"C:\\App\\config.ini", {{L"USAR_JAVAHOME", value}});
        Run();
        EXPECT_FALSE(CallsStartingWith("RegOpenKey").empty());
    }
}

TEST_F(LaunchSequenceTest, RegisteredKeyIsClosedBeforeTheDirectoryIsSetAndTheChildStarts) {
    WriteConfig(L"C:\\App\\config.ini", {{L"USAR_JAVAHOME", L"1"}, {L"VERSAO_JAVA", L"1.8"}});
    World().view64[L"Software\\JavaSoft\\Java Runtime Environment\\1.8"][L"JavaHome"] =
        fake::RegistryValue{1, fake::Utf16Bytes(L"C:\\Jre"), {}};
    Run();
    EXPECT_EQ(CommandLine(), "C:\\Jre\\bin\\Javaw.exe -jar -Xmx768m \"C:\\App\\\"");
    const auto secondDirectoryRead = [&] {
        const auto& calls = World().calls;
        return std::find(std::find(calls.begin(), calls.end(), "GetCurrentDirectory") + 1,
                         calls.end(), "GetCurrentDirectory") - calls.begin();
    }();
    const auto close = IndexOf("RegCloseKey Software\\JavaSoft\\Java Runtime Environment\\1.8");
    const auto lastClose = static_cast<std::ptrdiff_t>(World().calls.size()) - 1 -
        (std::find_if(World().calls.rbegin(), World().calls.rend(),
                      [](const std::string& c) { return c.rfind("RegCloseKey", 0) == 0; }) -
         World().calls.rbegin());
    EXPECT_GT(lastClose, secondDirectoryRead);  // the key stays open while the line is built
    EXPECT_GT(close, 0);
    EXPECT_LT(lastClose, IndexOf("SetCurrentDirectory"));
    EXPECT_EQ(World().openKeys, 0);
}

TEST_F(LaunchSequenceTest, FailedStartStillReturnsZero) {
    // A failed start is reported whatever the last error says, even 0.
    for (const auto& [error, text] : std::vector<std::pair<std::uint32_t, std::string>>{
             {2, "Erro 2 ao executar o aplicativo."}, {0, "Erro 0 ao executar o aplicativo."}}) {
        SetUp();
        World().processCanStart = false;
        World().startError = error;
        EXPECT_EQ(Run(), 0);
        ASSERT_EQ(World().messageBoxes.size(), 1u) << error;
        EXPECT_EQ(World().messageBoxes[0].text, text);
    }
}

TEST_F(LaunchSequenceTest, EntryPointIgnoresItsArgumentsAndReturnsZero) {
    WriteConfig(L"C:\\App\\config.ini", {{L"NOME_JAR", L"app.jar"}});
    char tail[] = "-Xmx4g other.jar";
    EXPECT_EQ(WinMain(nullptr, nullptr, tail, 5), 0);
    EXPECT_EQ(CommandLine(), "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\app.jar\"");
}

TEST_F(LaunchSequenceTest, RegistryErrorEndsTheProcessWithCodeThreeAndStartsNoChild) {
    WriteConfig(L"C:\\App\\config.ini", {{L"USAR_JAVAHOME", L"1"}});
    World().view64[L"Software\\JavaSoft\\Java Runtime Environment\\"][L"JavaHome"] =
        fake::RegistryValue{4, {1, 0, 0, 0}, {}};  // REG_DWORD
    EXPECT_EQ(ExitCodeOf([] { WinMain(nullptr, nullptr, nullptr, 0); }), 3);
    EXPECT_TRUE(World().started.empty());
    EXPECT_EQ(IndexOf("SetCurrentDirectory"), -1);
}

}  // namespace
