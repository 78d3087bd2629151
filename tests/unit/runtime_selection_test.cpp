#include <string>

#include "fake_world.h"
#include "launcher/module_values.h"
#include "launcher/runtime_selection.h"

namespace {

constexpr std::uint32_t REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4,
                        REG_MULTI_SZ = 7, REG_QWORD = 11, REG_NONE = 0;
constexpr const wchar_t* kKey18 = L"Software\\JavaSoft\\Java Runtime Environment\\1.8";

fake::RegistryValue Text(const std::wstring& text, std::uint32_t type = REG_SZ) {
    return fake::RegistryValue{type, fake::Utf16Bytes(text), {}};
}

class RuntimeSelectionTest : public FakeWorldTest {
protected:
    void SetUp() override {
        FakeWorldTest::SetUp();
        launcher::JavaVersion = "1.8";
        reader64.SetRootKey(platform::LocalMachineRoot());
        readerDefault.SetRootKey(platform::LocalMachineRoot());
    }

    // Runs the selection; returns the executable path it chose.
    std::string Select() {
        std::string executable = "C:\\App\\java\\bin\\javaw.exe";
        launcher::SelectJavaRuntime(reader64, readerDefault, home, executable);
        return executable;
    }

    launcher::RegistryReader reader64{launcher::kReader64Access};
    launcher::RegistryReader readerDefault{launcher::kReaderDefaultAccess};
    std::string home = "stale";
};

struct ViewCase {
    const char* name;
    std::optional<fake::RegistryValue> in64;
    std::optional<fake::RegistryValue> inDefault;
    const char* expected;
};

TEST_F(RuntimeSelectionTest, ChoosesTheViewAndReadsJavaHomeAsText) {
    std::vector<std::uint8_t> noTerminator = fake::Utf16Bytes(L"C:\\Raw", false);
    std::vector<std::uint8_t> innerNul = fake::Utf16Bytes(std::wstring(L"C:\\A\0B", 6));
    std::vector<std::uint8_t> oddCount = fake::Utf16Bytes(L"C:\\Odd", false);
    oddCount.push_back('X');
    const ViewCase cases[] = {
        {"64-bit view only", Text(L"C:\\J64"), std::nullopt, "C:\\J64\\bin\\Javaw.exe"},
        {"default view only", std::nullopt, Text(L"C:\\J32"), "C:\\J32\\bin\\Javaw.exe"},
        {"both: 64-bit wins", Text(L"C:\\J64"), Text(L"C:\\J32"), "C:\\J64\\bin\\Javaw.exe"},
        {"neither", std::nullopt, std::nullopt, "\\bin\\Javaw.exe"},
        {"blanks", Text(L"C:\\Program Files\\Java\\jre1.8.0"), std::nullopt,
         "C:\\Program Files\\Java\\jre1.8.0\\bin\\Javaw.exe"},
        {"trailing backslash doubles", Text(L"C:\\jre\\"), std::nullopt, "C:\\jre\\\\bin\\Javaw.exe"},
        {"expand string kept unexpanded", Text(L"%ProgramFiles%\\Java\\jre8", REG_EXPAND_SZ),
         std::nullopt, "%ProgramFiles%\\Java\\jre8\\bin\\Javaw.exe"},
        {"no terminating NUL", fake::RegistryValue{REG_SZ, noTerminator, {}}, std::nullopt,
         "C:\\Raw\\bin\\Javaw.exe"},
        {"NUL inside", fake::RegistryValue{REG_SZ, innerNul, {}}, std::nullopt, "C:\\A\\bin\\Javaw.exe"},
        {"odd byte count", fake::RegistryValue{REG_SZ, oddCount, {}}, std::nullopt,
         "C:\\Odd\\bin\\Javaw.exe"},
        {"empty binary reads empty", fake::RegistryValue{REG_BINARY, {}, {}}, Text(L"C:\\J32"),
         "\\bin\\Javaw.exe"},
        {"empty string", Text(L""), Text(L"C:\\J32"), "\\bin\\Javaw.exe"},
        {"outside the code page", Text(L"C:\\J\u4e2d"), std::nullopt, "C:\\J?\\bin\\Javaw.exe"},
    };
    for (const ViewCase& c : cases) {
        SetUp();
        if (c.in64) World().view64[kKey18][L"JavaHome"] = *c.in64;
        if (c.inDefault) World().view32[kKey18][L"JavaHome"] = *c.inDefault;
        EXPECT_EQ(Select(), c.expected) << c.name;
        EXPECT_EQ(launcher::JreKeyPath, "Software\\JavaSoft\\Java Runtime Environment\\1.8") << c.name;
    }
}

TEST_F(RuntimeSelectionTest, KeyWithoutJavaHomeInThe64BitViewEndsTheSearch) {
    World().view64[kKey18][L"Other"] = Text(L"C:\\Nope");
    World().view32[kKey18][L"JavaHome"] = Text(L"C:\\J32");
    EXPECT_EQ(Select(), "\\bin\\Javaw.exe");
    EXPECT_EQ(home, "");
    EXPECT_TRUE(CallsStartingWith("RegOpenKey default").empty());
}

TEST_F(RuntimeSelectionTest, ProbeFoundButOpenRefusedReadsEmptyAndDoesNotTryTheDefaultView) {
    World().view64[kKey18][L"JavaHome"] = Text(L"C:\\J64");
    World().view32[kKey18][L"JavaHome"] = Text(L"C:\\J32");
    World().refuseFullAccess.push_back(kKey18);
    EXPECT_EQ(Select(), "\\bin\\Javaw.exe");
    EXPECT_TRUE(CallsStartingWith("RegOpenKey default").empty());
    // The read happens anyway, on no key.
    EXPECT_EQ(CallsStartingWith("RegQueryValue size JavaHome").size(), 1u);
}

TEST_F(RuntimeSelectionTest, ProbesAndOpensWithTheExactMasks) {
    World().view32[kKey18][L"JavaHome"] = Text(L"C:\\J32");
    Select();
    EXPECT_EQ(CallsStartingWith("RegOpenKey"),
              (std::vector<std::string>{
                  "RegOpenKey 64 Software\\JavaSoft\\Java Runtime Environment\\1.8 0x00020109",
                  "RegOpenKey default Software\\JavaSoft\\Java Runtime Environment\\1.8 0x00020009",
                  "RegOpenKey default Software\\JavaSoft\\Java Runtime Environment\\1.8 0x00020019"}));
    EXPECT_EQ(reader64.AccessMask(), 0x20119u);
    EXPECT_EQ(readerDefault.AccessMask(), 0x20019u);
    // The probe's key is closed at once; the opened one stays open until the reader lets go.
    EXPECT_EQ(World().openKeys, 1);
    readerDefault.CloseCurrentKey();
    EXPECT_EQ(World().openKeys, 0);
}

TEST_F(RuntimeSelectionTest, KeyPathIsPlainConcatenation) {
    for (const auto& [version, key] :
         std::vector<std::pair<std::string, std::wstring>>{
             {"", L"Software\\JavaSoft\\Java Runtime Environment\\"},
             {"1.8\\sub", L"Software\\JavaSoft\\Java Runtime Environment\\1.8\\sub"}}) {
        SetUp();
        launcher::JavaVersion = version;
        World().view64[key][L"JavaHome"] = Text(L"C:\\Deep");
        EXPECT_EQ(Select(), "C:\\Deep\\bin\\Javaw.exe") << version;
    }
}

TEST_F(RuntimeSelectionTest, ValuesThatAreNotTextRaise) {
    for (std::uint32_t type : {REG_DWORD, REG_MULTI_SZ, REG_QWORD, REG_NONE, REG_BINARY}) {
        SetUp();
        World().view64[kKey18][L"JavaHome"] = Text(L"C:\\J", type);
        EXPECT_EQ(ExitCodeOf([&] { Select(); }), 3) << "type " << type;
        ASSERT_EQ(World().messageBoxes.size(), 1u) << "type " << type;
        EXPECT_EQ(World().messageBoxes[0].text, "Abnormal program termination");
    }
}

TEST_F(RuntimeSelectionTest, ValueChangedBetweenTheTwoQueriesRaises) {
    fake::RegistryValue vanishing = Text(L"C:\\J64");
    vanishing.dataQueryStatus = 2;
    World().view64[kKey18][L"JavaHome"] = vanishing;
    EXPECT_EQ(ExitCodeOf([&] { Select(); }), 3);
    EXPECT_EQ(World().messageBoxes.size(), 1u);
}

TEST_F(RuntimeSelectionTest, OpeningTwiceClosesTheFirstKey) {
    World().view64[kKey18][L"JavaHome"] = Text(L"C:\\J64");
    EXPECT_TRUE(reader64.OpenExistingKey(kKey18));
    EXPECT_TRUE(reader64.OpenExistingKey(kKey18));
    EXPECT_EQ(World().openKeys, 1);
    EXPECT_FALSE(reader64.OpenExistingKey(L"Software\\Missing"));
    EXPECT_EQ(reader64.ReadTextValue(L"JavaHome"), L"C:\\J64");
}

}  // namespace
