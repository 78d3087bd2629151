#include <cstdlib>
#include <new>
#include <string>

#include "fake_world.h"
#include "launcher/failure_reporting.h"
#include "launcher/launch_sequence.h"
#include "platform/geometry.h"

extern "C" int WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int);  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the Windows name

// Memory running out on demand: while the fake's flag is set, every allocation fails.
void* operator new(std::size_t size) {
    if (fake::world().failAllocations) throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { std::free(memory); }

namespace {

using launcher::FailureReporter;

TEST(LaunchErrorMessage, IsSignedDecimal) {
    EXPECT_EQ(launcher::LaunchErrorMessage(2), "Erro 2 ao executar o aplicativo.");
    EXPECT_EQ(launcher::LaunchErrorMessage(5), "Erro 5 ao executar o aplicativo.");
    EXPECT_EQ(launcher::LaunchErrorMessage(193), "Erro 193 ao executar o aplicativo.");
    EXPECT_EQ(launcher::LaunchErrorMessage(0), "Erro 0 ao executar o aplicativo.");
    EXPECT_EQ(launcher::LaunchErrorMessage(0xFFFFFFFF), "Erro -1 ao executar o aplicativo.");
    EXPECT_EQ(launcher::LaunchErrorMessage(0x80000000), "Erro -2147483648 ao executar o aplicativo.");
}

class FailureReportingTest : public FakeWorldTest {};

TEST_F(FailureReportingTest, ProgramTitleComesFromTheFileName) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\App\\LAUNCHER.EXE", L"Launcher"},
        {L"C:\\App\\Backup.old.exe", L"Backup"},
        {L"C:\\App\\aBC.exe", L"abc"},
        {L"C:\\App\\KELMORA.exe", L"Kelmora"},
        {L"C:\\My.Apps\\NODOT", L"Nodot"},
        {L"KELMORA.exe", L"Kelmora"},
        {L"C:\\" L"\u00c9TOILE.exe", L"\u00c9toile"},
    };
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(launcher::MakeProgramTitle(path), title);
    }
}

TEST_F(FailureReportingTest, ProgramTitleUsesTheWholePathHoweverLong) {
    World().modulePathWide = L"C:\\" + std::wstring(300, L'd') + L"\\RENAMED.exe";
    EXPECT_EQ(FailureReporter::ForThisProcess().ProgramTitle(), L"Renamed");
}

TEST_F(FailureReportingTest, TerminationCaptionIsTheFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\App\\KELMORA.exe", "KELMORA.exe"},
        {"C:KELMORA.exe", "KELMORA.exe"},
        {"KELMORA.exe", "KELMORA.exe"},
        {"C:\\App\\", ""},
    };
    for (const auto& [path, caption] : cases) {
        EXPECT_EQ(launcher::AbnormalTerminationCaption(path), caption);
    }
    // A long path is read whole: the name is not cut at any buffer size.
    EXPECT_EQ(launcher::AbnormalTerminationCaption("C:\\" + std::string(300, 'x') + "\\K.exe"), "K.exe");
}

TEST_F(FailureReportingTest, TerminationCaptionSkipsTrailBytesOfDoubleByteCharacters) {
    // In code page 932 the character 0x95 0x5C ends in the byte of a backslash.
    World().leadBytes = {0x95};
    EXPECT_EQ(launcher::AbnormalTerminationCaption("C:\\App\\\x95\\X.exe"), "\x95\\X.exe");
}

TEST_F(FailureReportingTest, DialogFormFollowsTheVersions) {
    EXPECT_TRUE(launcher::UseTaskDialog(6, 0x00060000));
    EXPECT_TRUE(launcher::UseTaskDialog(10, 0x0006000A));
    EXPECT_TRUE(launcher::UseTaskDialog(6, std::nullopt));  // unreadable counts as new enough
    EXPECT_FALSE(launcher::UseTaskDialog(5, 0x00060000));
    EXPECT_FALSE(launcher::UseTaskDialog(5, std::nullopt));
    EXPECT_FALSE(launcher::UseTaskDialog(10, 0x00050052));  // 5.82
    EXPECT_FALSE(launcher::UseTaskDialog(10, 0x0005FFFF));
    EXPECT_TRUE(launcher::UseTaskDialog(10, 0xFFFF0000));   // compared unsigned
}

TEST_F(FailureReportingTest, ErrorBoxThenTaskDialogWithTheCommandLine) {
    FailureReporter reporter(L"C:\\App\\KELMORA.exe", 10);
    reporter.ReportLaunchFailure(2, "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\app.jar\"");

    ASSERT_EQ(World().messageBoxes.size(), 1u);
    EXPECT_EQ(World().messageBoxes[0].text, "Erro 2 ao executar o aplicativo.");
    EXPECT_EQ(World().messageBoxes[0].caption, "Erro");
    EXPECT_EQ(World().messageBoxes[0].type, 0x10u);

    ASSERT_EQ(World().taskDialogs.size(), 1u);
    const platform::TaskDialogRequest& d = World().taskDialogs[0];
    ASSERT_EQ(World().windowsCreated.size(), 1u);
    EXPECT_EQ(d.owner, World().windowsCreated[0]);
    EXPECT_EQ(d.flags, 0x0008u);
    EXPECT_EQ(d.commonButtons, 0u);
    EXPECT_EQ(d.windowTitle, L"Kelmora");
    EXPECT_EQ(d.content, L"C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\app.jar\"");
    ASSERT_EQ(d.buttons.size(), 1u);
    EXPECT_EQ(d.buttons[0].id, 1);
    EXPECT_EQ(d.buttons[0].text, L"OK");
    EXPECT_EQ(d.defaultButton, 1);
    EXPECT_EQ(d.width, 0u);
    EXPECT_TRUE(d.centreOnOwnerMonitor);

    // The box comes first; the owner window and the common controls only when the dialog needs them.
    EXPECT_LT(IndexOf("MessageBox"), IndexOf("CreateWindow Kelmora"));
    EXPECT_LT(IndexOf("CreateWindow"), IndexOf("LoadCommonControls"));
    EXPECT_LT(IndexOf("LoadCommonControls"), IndexOf("TaskDialog"));
    EXPECT_TRUE(World().plainDialogs.empty());
}

TEST_F(FailureReportingTest, ActiveWindowOwnsTheDialogWhenThereIsOne) {
    World().activeWindow = reinterpret_cast<platform::WindowHandle>(0x4242);
    FailureReporter(L"C:\\App\\KELMORA.exe", 10).ReportLaunchFailure(5, "x");
    ASSERT_EQ(World().taskDialogs.size(), 1u);
    EXPECT_EQ(World().taskDialogs[0].owner, World().activeWindow);
}

TEST_F(FailureReportingTest, PlainDialogOnOldSystemsOrOldCommonControls) {
    for (const auto& [major, comctl] : std::vector<std::pair<std::uint32_t, std::optional<std::uint32_t>>>{
             {5, 0x00060000}, {6, 0x00050052}, {10, 0x00050052}}) {
        fake::Reset();
        World().commonControlsVersion = comctl;
        FailureReporter(L"C:\\App\\KELMORA.exe", major).ReportLaunchFailure(193, "a % b %d %s");
        ASSERT_EQ(World().plainDialogs.size(), 1u);
        EXPECT_EQ(World().plainDialogs[0].title, L"Kelmora");
        EXPECT_EQ(World().plainDialogs[0].text, L"a % b %d %s");  // shown as text, never a format
        EXPECT_EQ(World().plainDialogs[0].owner, World().windowsCreated.at(0));
        EXPECT_TRUE(World().taskDialogs.empty());
        EXPECT_EQ(IndexOf("LoadCommonControls"), -1);
    }
}

TEST_F(FailureReportingTest, PercentSignsReachTheTaskDialogUnchanged) {
    FailureReporter(L"C:\\App\\KELMORA.exe", 10).ReportLaunchFailure(2, "C:\\100%\\java\\bin\\javaw.exe %s%n");
    ASSERT_EQ(World().taskDialogs.size(), 1u);
    EXPECT_EQ(World().taskDialogs[0].content, L"C:\\100%\\java\\bin\\javaw.exe %s%n");
}

using EntryPointTest = FakeWorldTest;

TEST_F(EntryPointTest, SuccessfulLaunchCreatesNoWindowAndLoadsNoCommonControls) {
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(World().started.size(), 1u);
    EXPECT_TRUE(World().windowsCreated.empty());
    EXPECT_EQ(IndexOf("LoadCommonControls"), -1);
    EXPECT_EQ(IndexOf("CommonControlsVersion"), -1);
    EXPECT_TRUE(World().messageBoxes.empty());
    EXPECT_EQ(IndexOf("CharLowerW"), -1);  // the title is worked out only for a dialog
    EXPECT_EQ(IndexOf("SetDefaultDllDirectories"), 0);  // before anything else
}

TEST_F(EntryPointTest, FailedStartIsReportedAndStillEndsWithZero) {
    World().processCanStart = false;
    World().startError = 0xFFFFFFFF;
    World().modulePathWide = L"C:\\App\\Renamed.EXE";
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    ASSERT_EQ(World().messageBoxes.size(), 1u);
    EXPECT_EQ(World().messageBoxes[0].text, "Erro -1 ao executar o aplicativo.");
    ASSERT_EQ(World().taskDialogs.size(), 1u);
    EXPECT_EQ(World().taskDialogs[0].windowTitle, L"Renamed");
    EXPECT_EQ(World().taskDialogs[0].content, L"C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\\"");
}

TEST_F(EntryPointTest, MissingTaskDialogShowsNothingAndStillEndsWithZero) {
    World().processCanStart = false;
    World().taskDialogAvailable = false;
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(World().messageBoxes.size(), 1u);
    EXPECT_TRUE(World().taskDialogs.empty());
    EXPECT_TRUE(World().plainDialogs.empty());
}

TEST_F(EntryPointTest, RaisedFailureShowsTheTerminationBoxAndEndsWithThree) {
    World().files[L"C:\\App\\config.ini"].sections[L"KELMORA"] = {{L"USAR_JAVAHOME", L"1"}};
    World().view32[L"Software\\JavaSoft\\Java Runtime Environment\\"][L"JavaHome"] =
        fake::RegistryValue{7, fake::Utf16Bytes(L"C:\\J"), {}};  // REG_MULTI_SZ
    World().modulePathAnsi = "C:\\Program Files\\App\\KELMORA.exe";
    try {
        WinMain(nullptr, nullptr, nullptr, 0);
        FAIL() << "the process should have ended";
    } catch (const fake::ExitRequested& exit) {
        EXPECT_EQ(exit.exitCode, 3u);
    }
    ASSERT_EQ(World().messageBoxes.size(), 1u);
    EXPECT_EQ(World().messageBoxes[0].text, "Abnormal program termination");
    EXPECT_EQ(World().messageBoxes[0].caption, "KELMORA.exe");
    EXPECT_EQ(World().messageBoxes[0].type, 0x12010u);
    EXPECT_TRUE(World().started.empty());
    EXPECT_TRUE(World().windowsCreated.empty());
}

TEST_F(EntryPointTest, TerminationBoxIsShownWithoutMemory) {
    // A name past the small-string buffer, so that a copy of it would need the heap.
    World().modulePathAnsi = "C:\\" + std::string(300, 'x') + "\\KELMORA launcher 1.0.exe";
    World().failAllocations = true;
    EXPECT_EQ(ExitCodeOf([] { launcher::ReportAbnormalTermination(); }), 3);
    World().failAllocations = false;
    ASSERT_EQ(World().messageBoxes.size(), 1u);
    EXPECT_EQ(World().messageBoxes[0].text, "Abnormal program termination");
    EXPECT_EQ(World().messageBoxes[0].caption, "KELMORA launcher 1.0.exe");
}

TEST(CentredOrigin, TruncatesTowardZero) {
    using platform::CentredOrigin;
    using platform::Rect;
    const Rect work{0, 0, 1920, 1040};
    EXPECT_EQ(CentredOrigin(work, Rect{0, 0, 401, 201}).x, 759);   // 1519 / 2
    EXPECT_EQ(CentredOrigin(work, Rect{0, 0, 401, 201}).y, 419);   // 839 / 2
    // A work area that does not start at zero (task bar on the left or top).
    EXPECT_EQ(CentredOrigin(Rect{100, 50, 1100, 850}, Rect{7, 7, 207, 107}).x, 500);
    EXPECT_EQ(CentredOrigin(Rect{100, 50, 1100, 850}, Rect{7, 7, 207, 107}).y, 400);
    // Larger than the area: a negative offset, truncated toward zero (-3 / 2 is -1, not -2).
    EXPECT_EQ(CentredOrigin(Rect{0, 0, 100, 100}, Rect{0, 0, 103, 50}).x, -1);
    // A monitor left of the primary one has negative coordinates.
    EXPECT_EQ(CentredOrigin(Rect{-1280, 0, 0, 1024}, Rect{0, 0, 301, 101}).x, -791);  // -1280 + 979 / 2
}

}  // namespace
