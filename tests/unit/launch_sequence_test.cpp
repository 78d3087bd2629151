#include <map>
#include <string>
#include <vector>

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

// Names the code page cannot hold (the fake's is Latin-1: U+0141 and beyond become '?').
struct ShortNameCase {
    const char* what;
    std::wstring directory;
    std::wstring jar;
    std::wstring javaHome;  // registered runtime when not empty
    std::map<std::wstring, std::wstring> shortPaths;
    std::string commandLine;
    std::vector<std::string> lookups;  // GetShortPathName calls, in order
};

TEST_F(LaunchSequenceTest, ShortNamesStandInForNamesTheCodePageCannotHold) {
    const ShortNameCase cases[] = {
        {"a folder", L"C:\\Users\\\u0141ukasz\\App", L"app.jar", L"",
         {{L"C:\\Users\\\u0141ukasz", L"C:\\Users\\UKASZ~1"}},
         "C:\\Users\\UKASZ~1\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\Users\\UKASZ~1\\App\\app.jar\"",
         // once for each reading of the directory
         {"GetShortPathName C:\\Users\\?ukasz", "GetShortPathName C:\\Users\\?ukasz"}},
        // Only the name the code page lacks is replaced: the runtime path keeps its blank and quotes.
        {"names the code page holds stay", L"C:\\Program Files\\\u0141\u00f3d\u017a", L"a.jar", L"",
         {{L"C:\\Program Files\\\u0141\u00f3d\u017a", L"C:\\PROGRA~1\\ODZ~1"}},
         "\"C:\\Program Files\\ODZ~1\\java\\bin\\javaw.exe\" -jar -Xmx768m \"C:\\Program Files\\ODZ~1\\a.jar\"",
         {"GetShortPathName C:\\Program Files\\??d?", "GetShortPathName C:\\Program Files\\??d?"}},
        {"two names, the one between held", L"D:\\\u4e2d\\caf\u00e9\\\u4e2d", L"", L"",
         {{L"D:\\\u4e2d", L"D:\\A1B2~1"}, {L"D:\\\u4e2d\\caf\u00e9\\\u4e2d", L"D:\\A1B2~1\\CAF~1\\C3D4~1"}},
         "D:\\A1B2~1\\caf\xe9\\C3D4~1\\java\\bin\\javaw.exe -jar -Xmx768m \"D:\\A1B2~1\\caf\xe9\\C3D4~1\\\"",
         {"GetShortPathName D:\\?", "GetShortPathName D:\\?\\caf?\\?", "GetShortPathName D:\\?",
          "GetShortPathName D:\\?\\caf?\\?"}},
        // The archive's own names are looked up in the folder of the second reading.
        {"the archive name", L"C:\\App", L"\u03a9\\app-\u03a9.jar", L"",
         {{L"C:\\App\\\u03a9", L"C:\\App\\O~1"}, {L"C:\\App\\\u03a9\\app-\u03a9.jar", L"C:\\App\\O~1\\APP-~1.JAR"}},
         "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\O~1\\APP-~1.JAR\"",
         {"GetShortPathName C:\\App\\?", "GetShortPathName C:\\App\\?\\app-?.jar"}},
        // A forward slash separates names as the backslash does, and stays as it was written.
        {"the archive in a sub-folder", L"C:\\App", L"lib/\u0141\u00f3d\u017a.jar", L"",
         {{L"C:\\App\\lib/\u0141\u00f3d\u017a.jar", L"C:\\App\\lib\\ODZ~1.JAR"}},
         "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\lib/ODZ~1.JAR\"",
         {"GetShortPathName C:\\App\\lib/??d?.jar"}},
        {"the registered runtime", L"C:\\App", L"a.jar", L"C:\\J\u0101va\\",
         {{L"C:\\J\u0101va", L"C:\\JVA~1"}},
         "C:\\JVA~1\\\\bin\\Javaw.exe -jar -Xmx768m \"C:\\App\\a.jar\"",
         {"GetShortPathName C:\\J?va"}},
        // Short names off: the long name comes back and today's text stands, '?' and all.
        {"no short names on the volume", L"C:\\\u0141", L"a.jar", L"",
         {{L"C:\\\u0141", L"C:\\\u0141"}},
         "C:\\?\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\?\\a.jar\"",
         {"GetShortPathName C:\\?", "GetShortPathName C:\\?"}},
        {"a short name the code page cannot hold either", L"C:\\\u0141\u0142", L"a.jar", L"",
         {{L"C:\\\u0141\u0142", L"C:\\\u0141~1"}},
         "C:\\??\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\??\\a.jar\"",
         {"GetShortPathName C:\\??", "GetShortPathName C:\\??"}},
        // The lookup fails for the second name: nothing of the first is kept either.
        {"a lookup that fails", L"C:\\\u0141\\\u0142", L"a.jar", L"",
         {{L"C:\\\u0141", L"C:\\L~1"}},
         "C:\\?\\?\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\?\\?\\a.jar\"",
         {"GetShortPathName C:\\?", "GetShortPathName C:\\?\\?", "GetShortPathName C:\\?",
          "GetShortPathName C:\\?\\?"}},
        // Every piece exact: nothing is looked up, whatever short names there are.
        {"a path the code page holds", L"C:\\Caf\u00e9", L"\u00e9.jar", L"C:\\J\u00e9",
         {{L"C:\\Caf\u00e9", L"C:\\CAF~1"}, {L"C:\\J\u00e9", L"C:\\J~1"}},
         "C:\\J\xe9\\bin\\Javaw.exe -jar -Xmx768m \"C:\\Caf\xe9\\\xe9.jar\"", {}},
    };
    for (const ShortNameCase& c : cases) {
        SetUp();
        World().currentDirectory = c.directory;
        World().shortPaths = c.shortPaths;
        // Read from the directory as reported: found whatever becomes of the name in ANSI.
        WriteConfig(c.directory + L"\\config.ini",
                    {{L"NOME_JAR", c.jar}, {L"USAR_JAVAHOME", c.javaHome.empty() ? L"0" : L"1"}});
        World().view64[L"Software\\JavaSoft\\Java Runtime Environment\\"][L"JavaHome"] =
            fake::RegistryValue{1, fake::Utf16Bytes(c.javaHome), {}};
        Run();
        EXPECT_EQ(CommandLine(), c.commandLine) << c.what;
        EXPECT_EQ(CallsStartingWith("GetShortPathName"), c.lookups) << c.what;
        // The child and the launcher stand in the folder the command line names.
        const std::string folder = c.commandLine.substr(c.commandLine.find("768m \"") + 6);
        const std::string expectedDirectory = folder.substr(0, folder.rfind('\\'));
        if (c.jar.find(L'\\') == std::wstring::npos) {
            EXPECT_EQ(World().started[0].currentDirectory, expectedDirectory) << c.what;
            EXPECT_EQ(CallsStartingWith("SetCurrentDirectory"),
                      std::vector<std::string>{"SetCurrentDirectory " + expectedDirectory}) << c.what;
        }
    }
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
