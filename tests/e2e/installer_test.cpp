// The emulated phone's installer (wceload.exe) on the installation CAB of
// this build (vorn.cab) and on faulty copies of it (tests\cabs): where the
// files and shortcuts go, what a shortcut holds, a second install, and the
// refusals that write nothing. The phone's file system is a folder of the
// test, named to the installer in PHONE_ROOT (the seam).
#include <cstring>
#include <set>
#include <string>
#include "support/phone.h"

namespace {

struct Shortcut {
    const wchar_t *path;  // phone path of the shortcut
    const char *target;   // phone path of the program it starts
    const char *args;
};

const wchar_t kProgram[] = L"\\Program Files\\Vorn\\vorn.exe";
const Shortcut kShortcuts[] = {
    {L"\\Windows\\Start Menu\\Programs\\Vorn.lnk", "\\Program Files\\Vorn\\vorn.exe", ""},
    {L"\\Windows\\Start Menu\\Programs\\Vorn Settings.lnk", "\\Program Files\\Vorn\\vorn.exe",
     "#CONFIG"},
};

class Installer : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo *info =
            ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::wstring runs = BuildDir() + L"\\testruns";
        CreateDirectoryW(runs.c_str(), NULL);
        dir = runs + L"\\" + std::wstring(name.begin(), name.end());
        Remove(dir);
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL)) << Narrow(dir);
    }

    void TearDown() override { SetEnvironmentVariableW(L"PHONE_ROOT", NULL); }

    // A new, empty phone root inside the test's folder.
    std::wstring NewRoot(const std::wstring &name)
    {
        std::wstring root = dir + L"\\" + name;
        EXPECT_TRUE(CreateDirectoryW(root.c_str(), NULL)) << Narrow(root);
        return root;
    }

    // wceload.exe CAB with the phone's root at root, to its end.
    ToolRun Install(const std::wstring &root, const std::wstring &cab)
    {
        SetEnvironmentVariableW(L"PHONE_ROOT", root.c_str());
        return RunToEnd(BinDir() + L"\\wceload.exe", L"\"" + cab + L"\"", dir,
                        dir + L"\\wceload-" + std::to_wstring(++runs) + L".out", L"");
    }

    // Every file and folder under root, as phone paths ("\a\b"); folders end
    // with a backslash.
    static std::set<std::wstring> Tree(const std::wstring &root, const std::wstring &below = L"")
    {
        std::set<std::wstring> found;
        WIN32_FIND_DATAW entry;
        HANDLE walk = FindFirstFileW((root + below + L"\\*").c_str(), &entry);
        if (walk == INVALID_HANDLE_VALUE)
            return found;
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = below + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                found.insert(path + L"\\");
                std::set<std::wstring> inner = Tree(root, path);
                found.insert(inner.begin(), inner.end());
            } else {
                found.insert(path);
            }
        } while (FindNextFileW(walk, &entry));
        FindClose(walk);
        return found;
    }

    static void Remove(const std::wstring &path)
    {
        WIN32_FIND_DATAW entry;
        HANDLE walk = FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (walk != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(path + L"\\" + name);
                else
                    DeleteFileW((path + L"\\" + name).c_str());
            } while (FindNextFileW(walk, &entry));
            FindClose(walk);
        }
        RemoveDirectoryW(path.c_str());
    }

    // What the good CAB leaves: the program, both shortcuts and their
    // folders, nothing else.
    static std::set<std::wstring> Installed()
    {
        return {L"\\Program Files\\",
                L"\\Program Files\\Vorn\\",
                kProgram,
                L"\\Windows\\",
                L"\\Windows\\Start Menu\\",
                L"\\Windows\\Start Menu\\Programs\\",
                kShortcuts[0].path,
                kShortcuts[1].path};
    }

    // The installed files are where the document says and hold what they must:
    // the build's program, and shortcuts to it.
    void ExpectInstalled(const std::wstring &root)
    {
        EXPECT_EQ(Installed(), Tree(root));
        std::string program = ReadBytes(root + kProgram);
        EXPECT_FALSE(program.empty());
        EXPECT_TRUE(program == ReadBytes(BinDir() + L"\\vorn.exe"))
            << "the installed vorn.exe is not the build's";
        for (const Shortcut &shortcut : kShortcuts) {
            SCOPED_TRACE(Narrow(shortcut.path));
            // N#"target" args: N counts the characters after '#'.
            std::string text = ReadBytes(root + shortcut.path);
            size_t hash = text.find('#');
            ASSERT_NE(std::string::npos, hash) << text;
            EXPECT_EQ(std::to_string(text.size() - hash - 1), text.substr(0, hash)) << text;
            std::string body = text.substr(hash + 1);
            ASSERT_TRUE(body.size() > 1 && body[0] == '"') << text;
            size_t close = body.find('"', 1);
            ASSERT_NE(std::string::npos, close) << text;
            std::string target = body.substr(1, close - 1), args = body.substr(close + 1);
            if (!args.empty()) {
                EXPECT_EQ(' ', args[0]) << text;
                args = args.substr(1);
            }
            EXPECT_EQ(shortcut.target, target);
            EXPECT_EQ(shortcut.args, args);
            EXPECT_TRUE(FileExists(root + std::wstring(target.begin(), target.end())))
                << "the shortcut starts a program that is not there: " << target;
        }
    }

    std::wstring dir;
    int runs = 0;
};

std::wstring GoodCab() { return BuildDir() + L"\\vorn.cab"; }
std::wstring FaultyCab(const char *name)
{
    std::string file = name;
    return BuildDir() + L"\\tests\\cabs\\" + std::wstring(file.begin(), file.end()) + L".cab";
}

TEST_F(Installer, PutsTheProgramAndBothShortcutsWhereTheDocumentSays)
{
    std::wstring root = NewRoot(L"phone");
    ToolRun run = Install(root, GoodCab());
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("wceload: Vorn installed")) << run.output;
    ExpectInstalled(root);
}

TEST_F(Installer, SecondInstallOverTheFirstLeavesOneCopyOfEach)
{
    std::wstring root = NewRoot(L"phone");
    for (int round = 1; round <= 2; round++) {
        SCOPED_TRACE("install " + std::to_string(round));
        ToolRun run = Install(root, GoodCab());
        EXPECT_EQ(0u, run.exitCode) << run.output;
        ExpectInstalled(root);
    }
}

struct Refusal {
    const char *cab;
    const char *line;  // what the installer says
};

const Refusal kRefusals[] = {
    {"wrong_count", "wceload: refused: _setup.xml: line 2: NumFiles says 2, the document lists 1 Extract"},
    {"missing_file", "wceload: refused: the CAB lacks the file vorn.001"},
    {"not_well_formed", "wceload: refused: _setup.xml is not well-formed XML"},
    {"not_understood", "the file operation Delete is not understood"},
};

TEST_F(Installer, RefusesWhatItCannotInstallAndWritesNothing)
{
    for (const Refusal &refusal : kRefusals) {
        SCOPED_TRACE(refusal.cab);
        std::wstring root = NewRoot(std::wstring(refusal.cab, refusal.cab + strlen(refusal.cab)));
        ASSERT_TRUE(FileExists(FaultyCab(refusal.cab)));
        ToolRun run = Install(root, FaultyCab(refusal.cab));
        EXPECT_EQ(1u, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(refusal.line)) << run.output;
        EXPECT_EQ(std::set<std::wstring>(), Tree(root)) << "the refused install wrote something";
    }
}

}  // namespace
