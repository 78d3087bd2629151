#include <optional>
#include <string>

#include "fake_world.h"
#include "launcher/settings.h"
#include "launcher/text.h"
#include "platform/profile_reader.h"

using launcher::ParseSettingNumber;
using namespace std::string_view_literals;

namespace {

struct NumberCase {
    const wchar_t* text;
    std::optional<std::int32_t> expected;
};

// Text as the profile reader delivers it (already trimmed of what it trims).
const NumberCase kNumberCases[] = {
    {L"1", 1}, {L"+1", 1}, {L"01", 1}, {L" 1", 1}, {L"   1", 1},
    {L"0x1", 1}, {L"0X1", 1}, {L"$1", 1}, {L"x1", 1}, {L"X1", 1},
    {L"-1", -1}, {L"0", 0}, {L"-0", 0}, {L"00", 0}, {L"010", 10},
    {L"1 ", std::nullopt}, {L"1.0", std::nullopt}, {L"1x", std::nullopt},
    {L"- 1", std::nullopt}, {L"+-1", std::nullopt}, {L"--1", std::nullopt},
    {L"", std::nullopt}, {L"$", std::nullopt}, {L"0x", std::nullopt},
    {L"-", std::nullopt}, {L"+", std::nullopt}, {L" ", std::nullopt},
    {L"\t1", std::nullopt}, {L"true", std::nullopt}, {L"yes", std::nullopt},
    {L"2147483647", 2147483647}, {L"2147483648", std::nullopt},
    {L"-2147483648", INT32_MIN}, {L"-2147483649", std::nullopt},
    {L"99999999999", std::nullopt}, {L"0000000000002147483647", 2147483647},
    {L"$7fffffff", 2147483647}, {L"$FFFFFFFF", -1}, {L"$80000000", INT32_MIN},
    {L"-$80000000", INT32_MIN}, {L"-$FFFFFFFF", 1}, {L"$100000000", std::nullopt},
    {L"$0000000001", 1}, {L"-0x10", -16}, {L"0x1G", std::nullopt}, {L"$ 1", std::nullopt},
    {L"0$1", std::nullopt}, {L"\x0661", std::nullopt} /* Arabic-Indic digit one */,
    {L"\xFF11", std::nullopt} /* full-width digit one */, {L"1\n", std::nullopt},
};

TEST(ParseSettingNumber, FollowsTheNumberTable) {
    for (const NumberCase& c : kNumberCases) {
        EXPECT_EQ(ParseSettingNumber(c.text), c.expected) << "text: [" << std::string(c.text, c.text + std::wcslen(c.text)).c_str() << "]";
    }
}

class SettingsTest : public FakeWorldTest {
protected:
    // The archive name as it reaches the command line of a folder the code page holds.
    static std::string Jar(const launcher::LauncherSettings& s) { return launcher::ToAnsiText(s.NOME_JAR); }
};

TEST_F(SettingsTest, ReadsTheThreeKeysInOrderFromTheCurrentDirectory) {
    WriteConfig(L"C:\\App\\config.ini",
                {{L"VERSAO_JAVA", L"1.8"}, {L"USAR_JAVAHOME", L"1"}, {L"NOME_JAR", L"app.jar"}});
    const launcher::LauncherSettings s = launcher::ReadLauncherSettings(L"C:\\App");
    EXPECT_EQ(s.VERSAO_JAVA, "1.8");
    EXPECT_EQ(s.USAR_JAVAHOME, 1);
    EXPECT_EQ(Jar(s), "app.jar");
    EXPECT_EQ(World().calls,
              (std::vector<std::string>{
                  "GetPrivateProfileString C:\\App\\config.ini [KELMORA] VERSAO_JAVA size 2048",
                  "GetPrivateProfileString C:\\App\\config.ini [KELMORA] USAR_JAVAHOME size 2048",
                  "GetPrivateProfileString C:\\App\\config.ini [KELMORA] NOME_JAR size 2048"}));
}

TEST_F(SettingsTest, MissingFileAndEmptyValuesGiveTheSameDefaults) {
    const launcher::LauncherSettings missing = launcher::ReadLauncherSettings(L"C:\\App");
    WriteConfig(L"C:\\App\\config.ini",
                {{L"VERSAO_JAVA", L""}, {L"USAR_JAVAHOME", L""}, {L"NOME_JAR", L""}});
    const launcher::LauncherSettings empty = launcher::ReadLauncherSettings(L"C:\\App");
    for (const auto& s : {missing, empty}) {
        EXPECT_EQ(s.VERSAO_JAVA, "");
        EXPECT_EQ(s.USAR_JAVAHOME, 0);
        EXPECT_EQ(Jar(s), "");
    }
}

TEST_F(SettingsTest, OtherSectionsAndUnparsableNumbersTakeDefaults) {
    World().files[L"C:\\App\\config.ini"].sections[L"OTHER"] = {{L"NOME_JAR", L"x.jar"}};
    WriteConfig(L"C:\\App\\config.ini", {{L"USAR_JAVAHOME", L"yes"}});
    const launcher::LauncherSettings s = launcher::ReadLauncherSettings(L"C:\\App");
    EXPECT_EQ(Jar(s), "");
    EXPECT_EQ(s.USAR_JAVAHOME, 0);
}

TEST_F(SettingsTest, DriveRootGivesADoubledSeparatorInTheSettingsPath) {
    WriteConfig(L"C:\\\\config.ini", {{L"NOME_JAR", L"root.jar"}});
    EXPECT_EQ(Jar(launcher::ReadLauncherSettings(L"C:\\")), "root.jar");
}

TEST_F(SettingsTest, ValuesAreCutAt2047CodeUnits) {
    const std::wstring exact(2047, L'a');
    const std::wstring longer = std::wstring(2047, L'b') + L"tail";
    WriteConfig(L"C:\\App\\config.ini", {{L"VERSAO_JAVA", exact}, {L"NOME_JAR", longer}});
    const launcher::LauncherSettings s = launcher::ReadLauncherSettings(L"C:\\App");
    EXPECT_EQ(s.VERSAO_JAVA, std::string(2047, 'a'));
    EXPECT_EQ(Jar(s), std::string(2047, 'b'));
}

TEST_F(SettingsTest, ValuesAreKeptAsDeliveredWithoutTrimmingOrUnquoting) {
    WriteConfig(L"C:\\App\\config.ini", {{L"NOME_JAR", L" \"lib\\app.jar\" "}});
    EXPECT_EQ(Jar(launcher::ReadLauncherSettings(L"C:\\App")), " \"lib\\app.jar\" ");
}

TEST_F(SettingsTest, CharactersOutsideTheCodePageAreConvertedAsTheSystemDoes) {
    WriteConfig(L"C:\\App\\config.ini", {{L"NOME_JAR", L"caf\u00e9-\u4e2d.jar"}});
    EXPECT_EQ(Jar(launcher::ReadLauncherSettings(L"C:\\App")), "caf\xe9-?.jar");
}

TEST_F(SettingsTest, ReadSettingNumberFallsBackOnlyWhenThereIsNoNumber) {
    WriteConfig(L"C:\\App\\config.ini", {{L"A", L"-$FFFFFFFF"}, {L"B", L"1 "}});
    const launcher::SettingsReader reader(L"C:\\App\\config.ini");
    EXPECT_EQ(reader.ReadSettingNumber(L"KELMORA", L"A", 7), 1);
    EXPECT_EQ(reader.ReadSettingNumber(L"KELMORA", L"B", 7), 7);
    EXPECT_EQ(reader.ReadSettingNumber(L"KELMORA", L"missing", 7), 7);
}

// config.ini as bytes, read by the launcher's own profile reader; what NOME_JAR then holds, as
// it reaches the command line or, where given, as UTF-16 (which keeps what ANSI cannot).
struct FileCase {
    std::string_view bytes;
    std::string_view jar;
    bool doubleByteCodePage = false;  // the fake's, with the lead bytes of code page 932
    std::wstring_view wideJar = {};
};

const FileCase kFileCases[] = {
    {"[KELMORA]\r\nNOME_JAR=a.jar\r\n"sv, "a.jar"sv},
    {"[kelmora]\nnome_jar = \t a.jar \x1a\n"sv, "a.jar"sv},
    {"[KELMORA]\rNOME_JAR='q.jar'"sv, "q.jar"sv},
    {"[KELMORA]\nNOME_JAR=\"\n"sv, "\""sv},
    {"[KELMORA]\nNOME_JAR\nNOME_JAR=second.jar\n"sv, ""sv},  // the first line of a key decides
    {"[KELMORA]\n[OTHER]\n[KELMORA]\nNOME_JAR=b.jar\n"sv, ""sv},
    {"[KELMORA] trailing\nNOME_JAR=a.jar\n"sv, "a.jar"sv},
    {"[KELMORA]\nNOME_JAR=a\0b.jar\n"sv, "a"sv},
    // Encodings: marks, then UTF-8 without a mark only when it holds a non-ASCII character.
    {"\xEF\xBB\xBF[KELMORA]\nNOME_JAR=Gest\xC3\xA3o.jar\n"sv, "Gest\xE3o.jar"sv},
    {"[KELMORA]\nNOME_JAR=Gest\xC3\xA3o.jar\n"sv, "Gest\xE3o.jar"sv},
    {"[KELMORA]\nNOME_JAR=Gest\xE3o.jar\n"sv, "Gest\xE3o.jar"sv},  // not UTF-8: the ANSI code page
    {"\xFE\xFF\0[\0K\0E\0L\0M\0O\0R\0A\0]\0\n\0N\0O\0M\0E\0_\0J\0A\0R\0=\0\xE9"sv, "\xE9"sv},
    {"\xFF\xFE[\0K\0E\0L\0M\0O\0R\0A\0]\0\n\0N\0O\0M\0E\0_\0J\0A\0R\0=\0\xE9\0!"sv, "\xE9"sv},
    {"\xEF\xBB\xBF[KELMORA]\nNOME_JAR=\xFF.jar\n"sv, "?.jar"sv},  // U+FFFD, outside the code page
    // Not well-formed UTF-8, so ANSI byte for byte: a lead byte where a trail byte belongs, a
    // surrogate (ED A0 80), an overlong form (E0 80 80).
    {"[KELMORA]\nNOME_JAR=\xC3\xC3.jar\n"sv, "\xC3\xC3.jar"sv},
    {"[KELMORA]\nNOME_JAR=\xED\xA0\x80.jar\n"sv, "\xED\xA0\x80.jar"sv},
    {"[KELMORA]\nNOME_JAR=\xE0\x80\x80.jar\n"sv, "\xE0\x80\x80.jar"sv},
    // In a double-byte code page, two-byte UTF-8 sequences alone are ANSI when valid there...
    {"[KELMORA]\nNOME_JAR=\xCF\xB5.jar\n"sv, "\xCF\xB5.jar"sv, true},
    // ...UTF-8 when not (there 0x81 is a lead byte, and '.' no trail byte)...
    {"[KELMORA]\nNOME_JAR=\xC3\x81.jar\n"sv, "\xC1.jar"sv, true},
    // ...and a three-byte sequence makes it UTF-8 whatever else the code page could read.
    {"[KELMORA]\nNOME_JAR=\xCF\xB5\xE2\x82\xAC.jar\n"sv, "??.jar"sv, true},
    // ...whichever comes first: a two-byte sequence after it does not make it ANSI again.
    {"[KELMORA]\nNOME_JAR=\xE2\x82\xAC\xCF\xB5.jar\n"sv, "??.jar"sv, true},
    // Beyond the Basic Multilingual Plane: U+20BB7 is the surrogate pair D842 DFB7, from UTF-8
    // without a mark, with one, and from UTF-16.
    {"[KELMORA]\nNOME_JAR=\xF0\xA0\xAE\xB7.jar\n"sv, ""sv, false, L"\xD842\xDFB7.jar"},
    {"\xEF\xBB\xBF[KELMORA]\nNOME_JAR=\xF0\x9F\x98\x80\n"sv, ""sv, false, L"\xD83D\xDE00"},
    {"\xFF\xFE[\0K\0E\0L\0M\0O\0R\0A\0]\0\n\0N\0O\0M\0E\0_\0J\0A\0R\0=\0\x42\xD8\xB7\xDF"sv, ""sv, false,
     L"\xD842\xDFB7"},
    // Past U+10FFFF (F4 90 80 80) there is no character: with a mark each byte is U+FFFD.
    {"\xEF\xBB\xBF[KELMORA]\nNOME_JAR=\xF4\x90\x80\x80\n"sv, ""sv, false, L"\xFFFD\xFFFD\xFFFD\xFFFD"},
    // A sequence cut short by the end of the file: no UTF-8 without a mark, U+FFFD with one.
    {"[KELMORA]\nNOME_JAR=a\xE4\xB8"sv, "a\xE4\xB8"sv},
    {"\xEF\xBB\xBF[KELMORA]\nNOME_JAR=a\xF0\xA0\xAE"sv, ""sv, false, L"a\xFFFD\xFFFD\xFFFD"},
};

TEST_F(SettingsTest, OwnProfileReaderFollowsTheFileTable) {
    for (const FileCase& c : kFileCases) {
        SetUp();
        if (c.doubleByteCodePage) {
            for (int lead = 0x81; lead <= 0xFC; ++lead) {
                if (lead <= 0x9F || lead >= 0xE0) World().leadBytes.push_back(static_cast<unsigned char>(lead));
            }
        }
        World().files[L"C:\\App\\config.ini"].bytes = std::string(c.bytes);
        const launcher::LauncherSettings s = launcher::ReadLauncherSettings(L"C:\\App");
        if (c.wideJar.empty()) {
            EXPECT_EQ(Jar(s), c.jar) << c.bytes;
        } else {
            EXPECT_EQ(s.NOME_JAR, c.wideJar) << c.bytes;
        }
    }
}

TEST_F(SettingsTest, OwnProfileReaderCutsValuesAndRefusesHugeFiles) {
    const std::string quoted = "[KELMORA]\nNOME_JAR=\"" + std::string(2047, 'q') + "\"\nVERSAO_JAVA=";
    World().files[L"C:\\App\\config.ini"].bytes = quoted + std::string(3000, 'v');
    launcher::LauncherSettings s = launcher::ReadLauncherSettings(L"C:\\App");
    EXPECT_EQ(Jar(s), std::string(2047, 'q'));
    EXPECT_EQ(s.VERSAO_JAVA, std::string(2047, 'v'));

    // Exactly at the size bound the file is read; one byte more and it reads as no file.
    std::string bound = "[KELMORA]\nNOME_JAR=a.jar\n";
    bound.resize(platform::profile::kMaxFileBytes, ';');
    World().files[L"C:\\App\\config.ini"].bytes = bound;
    EXPECT_EQ(Jar(launcher::ReadLauncherSettings(L"C:\\App")), "a.jar");
    World().files[L"C:\\App\\config.ini"].bytes = bound + ";";
    EXPECT_EQ(Jar(launcher::ReadLauncherSettings(L"C:\\App")), "");
}

TEST_F(SettingsTest, WorkingDirectoryIsReadWholeHoweverLong) {
    const std::wstring deep = L"C:\\" + std::wstring(400, L'd');
    World().currentDirectory = deep;
    EXPECT_EQ(launcher::ReadWorkingDirectory().ansi, "C:\\" + std::string(400, 'd'));
}

}  // namespace
