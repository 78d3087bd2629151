#include <string>

#include "fake_world.h"
#include "launcher/child_process.h"

namespace {

struct CommandLineCase {
    const char* executable;
    const char* directory;
    const char* jar;
    const char* expected;
};

const CommandLineCase kCommandLines[] = {
    {"C:\\App\\java\\bin\\javaw.exe", "C:\\App", "app.jar",
     "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\app.jar\""},
    {"C:\\App\\java\\bin\\javaw.exe", "C:\\App", "",
     "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\\""},
    {"D:\\\\java\\bin\\javaw.exe", "D:\\", "app.jar",
     "D:\\\\java\\bin\\javaw.exe -jar -Xmx768m \"D:\\\\app.jar\""},
    {"C:\\App\\java\\bin\\javaw.exe", "C:\\App", "lib\\app.jar",
     "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\lib\\app.jar\""},
    {"C:\\App\\java\\bin\\javaw.exe", "C:\\App", "D:\\app.jar",
     "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\D:\\app.jar\""},
    // Nothing inside a piece is escaped.
    {"C:\\App\\java\\bin\\javaw.exe", "C:\\App", "a\"b\\",
     "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\a\"b\\\""},
    {"\\bin\\Javaw.exe", "C:\\App", "app.jar", "\\bin\\Javaw.exe -jar -Xmx768m \"C:\\App\\app.jar\""},
    // A blank or a tab in the executable path: that piece alone is quoted.
    {"C:\\Program Files\\Java\\jre1.8.0\\bin\\Javaw.exe", "C:\\My App", "app.jar",
     "\"C:\\Program Files\\Java\\jre1.8.0\\bin\\Javaw.exe\" -jar -Xmx768m \"C:\\My App\\app.jar\""},
    {"C:\\a\tb\\bin\\Javaw.exe", "C:\\App", "app.jar",
     "\"C:\\a\tb\\bin\\Javaw.exe\" -jar -Xmx768m \"C:\\App\\app.jar\""},
    {"C:\\App\\java\\bin\\javaw.exe", "C:\\App", "my app.jar",
     "C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m \"C:\\App\\my app.jar\""},
};

TEST(BuildLaunchCommandLine, JoinsThePiecesExactly) {
    for (const CommandLineCase& c : kCommandLines) {
        EXPECT_EQ(launcher::BuildLaunchCommandLine(c.executable, c.directory, c.jar), c.expected);
    }
}

class ChildProcessTest : public FakeWorldTest {};

TEST_F(ChildProcessTest, StartsHiddenWithInheritanceInTheWorkingDirectory) {
    const launcher::LaunchOutcome outcome = launcher::StartChildAndWait("cmd line", "C:\\App");
    EXPECT_TRUE(outcome.started);
    ASSERT_EQ(World().started.size(), 1u);
    const fake::StartedProcess& p = World().started[0];
    EXPECT_EQ(p.commandLine, "cmd line");
    EXPECT_TRUE(p.inheritHandles);
    EXPECT_EQ(p.creationFlags, 0u);
    EXPECT_EQ(p.currentDirectory, "C:\\App");
    EXPECT_EQ(p.startup.size, 68u);
    EXPECT_EQ(p.startup.flags, 1u);       // STARTF_USESHOWWINDOW
    EXPECT_EQ(p.startup.showWindow, 0u);  // SW_HIDE
}

TEST_F(ChildProcessTest, EmptyWorkingDirectoryIsPassedAsEmptyText) {
    launcher::StartChildAndWait("x", "");
    ASSERT_EQ(World().started.size(), 1u);
    EXPECT_EQ(World().started[0].currentDirectory, "");
}

TEST_F(ChildProcessTest, WaitsThenClosesProcessHandleThenThreadHandle) {
    launcher::StartChildAndWait("x", "C:\\App");
    const auto& calls = World().calls;
    ASSERT_EQ(calls.size(), 5u);
    // "process P thread T" names the two handles the fake gave out.
    const std::string handles = calls[1];
    const std::string process = handles.substr(8, handles.find(" thread") - 8);
    const std::string thread = handles.substr(handles.find("thread ") + 7);
    EXPECT_EQ(calls[2], "Wait " + process);
    EXPECT_EQ(calls[3], "CloseHandle " + process);
    EXPECT_EQ(calls[4], "CloseHandle " + thread);
    EXPECT_EQ(World().openHandles, 0);
}

TEST_F(ChildProcessTest, FailedStartReportsTheErrorCodeAndNeitherWaitsNorCloses) {
    World().processCanStart = false;
    World().startError = 193;
    const launcher::LaunchOutcome outcome = launcher::StartChildAndWait("x", "C:\\App");
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.LaunchErrorCode, 193u);
    EXPECT_EQ(IndexOf("Wait"), -1);
    EXPECT_EQ(IndexOf("CloseHandle"), -1);
}

}  // namespace
