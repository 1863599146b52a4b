#include "platform/shell/Shell.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace orv;

namespace {

// Records what would have been started instead of starting it.
struct FakeDesktop {
    std::optional<bool> handler = true;
    bool startable = true;
    std::vector<std::string> lookedUp;
    std::vector<std::string> started; // program, args..., working folder

    DesktopOps ops()
    {
        return DesktopOps{
            [this](const std::string& path) {
                lookedUp.push_back(path);
                return handler;
            },
            [this](const std::string& program, const std::vector<std::string>& args, const std::string& wd) {
                started = {program};
                started.insert(started.end(), args.begin(), args.end());
                started.push_back(wd);
                return startable;
            }};
    }
};

class ShellDecisions : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(tmp.path() / "SAVE EDIT");
        file = tmp.file("SAVE EDIT/SAVE EDIT.EXE");
        orvtest::writeFileBytes(file, "MZ");
        folder = tmp.file("SAVE EDIT");
    }
    orvtest::TempDir tmp;
    std::string file, folder;
    const std::string app = "/opt/orvantis";
    FakeDesktop fake;
};

} // namespace

TEST_F(ShellDecisions, MissingTargetsAreReportedBeforeAnyLookup)
{
    auto shell = makeXdgShell(fake.ops());
    EXPECT_EQ(shell->openFile(folder + "/GONE.EXE", app), 2);
    EXPECT_EQ(shell->openFile(tmp.file("NOSUCH/GONE.EXE"), app), 3);
    std::string program;
    EXPECT_EQ(shell->openFolder(tmp.file("NOSUCH"), app, &program), 3);
    EXPECT_EQ(program, "xdg-open");
    // A file is not a folder to show.
    EXPECT_EQ(shell->openFolder(file, app, &program), 3);
    EXPECT_TRUE(fake.lookedUp.empty());
    EXPECT_TRUE(fake.started.empty());
}

TEST_F(ShellDecisions, NoHandlerMeansNoAssociation)
{
    fake.handler = false;
    auto shell = makeXdgShell(fake.ops());
    EXPECT_EQ(shell->openFile(file, app), 31);
    std::string program;
    EXPECT_EQ(shell->openFolder(folder, app, &program), 31);
    EXPECT_EQ(program, "xdg-open");
    EXPECT_EQ(fake.lookedUp, (std::vector<std::string>{file, folder}));
    EXPECT_TRUE(fake.started.empty());
}

TEST_F(ShellDecisions, StartsXdgOpenWithThePathAsOneArgument)
{
    auto shell = makeXdgShell(fake.ops());
    EXPECT_GE(shell->openFile(file, app), 32);
    EXPECT_EQ(fake.started, (std::vector<std::string>{"xdg-open", file, app}));
    std::string program;
    EXPECT_GE(shell->openFolder(folder, app, &program), 32);
    EXPECT_EQ(fake.started, (std::vector<std::string>{"xdg-open", folder, app}));
}

TEST_F(ShellDecisions, UnknownHandlerStillTriesAndStartFailureIsZero)
{
    fake.handler = std::nullopt;
    auto shell = makeXdgShell(fake.ops());
    EXPECT_GE(shell->openFile(file, app), 32);
    fake.startable = false;
    EXPECT_EQ(shell->openFile(file, app), 0);
    EXPECT_EQ(shell->openFolder(folder, app, nullptr), 0);
}

TEST(DesktopShell, MissingFileNeedsNoProgram)
{
    orvtest::TempDir tmp;
    auto shell = makeDesktopShell();
    EXPECT_EQ(shell->openFile(tmp.file("GONE.EXE"), tmp.path().string()), 2);
    EXPECT_EQ(shell->openFile(tmp.file("NOSUCH/GONE.EXE"), tmp.path().string()), 3);
}
