// The file dialog (Func046) and the folder browser (Func043), answered as a
// person would: the filter's entries, a file chosen in another folder,
// the overwrite question, cancelling; the folder browser opening where the
// buffer says.
#include "gui_driver.h"

#include "support.h"

#include <vorlex.h>

#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace gui;

namespace {

class FileDialog : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *f : {"a.txt", "b.txt", "c.log"}) std::ofstream(tmp.file(f)) << "x";
        CreateDirectoryA(tmp.file("sub").c_str(), nullptr);
        std::ofstream(tmp.file("sub/d.txt")) << "x";
        std::strcpy(file, (tmp.path() + "/").c_str());
        std::strcpy(name, "old name");
    }
    testsupport::TempDir tmp;
    char file[278];
    char name[278];
};

TEST_F(FileDialog, TwoFilterEntriesAndAFileChosenInAnotherFolderGivesItsName) {
    // The filter is the caller's text, not a writable buffer with room to spare.
    const char *filter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*";
    App<LONG> app([&] { return Func046(nullptr, "Choose A File", file, filter, name, 0, 1); });
    HWND dialog = waitForWindow("Choose A File", "#32770");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(comboItems(GetDlgItem(dialog, cmb1)),
              (std::vector<std::string>{"Text Files (*.txt)", "All Files (*.*)"}));
    EXPECT_EQ(listItems(GetDlgItem(dialog, lst1)), (std::vector<std::string>{"a.txt", "b.txt"}));
    HWND folders = GetDlgItem(dialog, lst2);
    doubleClick(folders, 10, listItemY(folders, listIndexOf(folders, "[sub]")));
    HWND files = GetDlgItem(dialog, lst1);
    EXPECT_EQ(listItems(files), (std::vector<std::string>{"d.txt"}));
    click(files, 10, listItemY(files, 0));
    EXPECT_EQ(itemText(dialog, edt1), "d.txt");
    click(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(app.result(-999), TRUE);
    EXPECT_EQ(std::string(file), tmp.file("sub/d.txt"));
    EXPECT_STREQ(name, "d.txt");
    EXPECT_STREQ(filter, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
}

TEST_F(FileDialog, CancelEmptiesTheName) {
    App<LONG> app([&] { return Func046(nullptr, "Choose A File", file, "All|*.*", name, 0, 0); });
    HWND dialog = waitForWindow("Choose A File", "#32770");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(listItems(GetDlgItem(dialog, lst1)), (std::vector<std::string>{"a.txt", "b.txt", "c.log"}));
    key(dialog, VK_ESCAPE);
    EXPECT_EQ(app.result(-999), 0);
    EXPECT_STREQ(name, "");
}

TEST_F(FileDialog, SavingOverAFileAsksFirstAndOpeningNeedsAnExistingOne) {
    App<LONG> save([&] { return Func046(nullptr, "Save It", file, "Logs|*.log", name, 1, 0); });
    HWND dialog = waitForWindow("Save It", "#32770");
    ASSERT_TRUE(dialog);
    type(dialog, "c.log\n");
    HWND box = waitForOther("#32770", "Save It", dialog);
    ASSERT_TRUE(box);
    EXPECT_NE(itemText(box, 0xFFFF).find("already exists"), std::string::npos);
    click(GetDlgItem(box, IDYES));
    EXPECT_EQ(save.result(-999), TRUE);
    EXPECT_STREQ(name, "c.log");

    std::strcpy(file, (tmp.path() + "/").c_str());
    App<LONG> open([&] { return Func046(nullptr, "Open It", file, "Logs|*.log", name, 0, 1); });
    dialog = waitForWindow("Open It", "#32770");
    ASSERT_TRUE(dialog);
    type(dialog, "missing.log\n");
    box = waitForOther("#32770", "Open It", dialog);
    ASSERT_TRUE(box) << "a file that must exist and does not was taken";
    key(box, VK_RETURN);
    EXPECT_FALSE(open.done());
    key(dialog, VK_ESCAPE);
    EXPECT_EQ(open.result(-999), 0);
}

class FolderBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryA(tmp.file("beta").c_str(), nullptr);
        CreateDirectoryA(tmp.file("beta/inner").c_str(), nullptr);
        CreateDirectoryA(tmp.file("gamma").c_str(), nullptr);
    }
    testsupport::TempDir tmp;
    char folder[MAX_PATH] = "";
};

constexpr int kBrowserPath = 0x3744; // the open folder, above the list

TEST_F(FolderBrowser, OpensAtTheStartingFolderAndGivesTheChosenOne) {
    std::strcpy(folder, tmp.file("beta").c_str());
    App<LONG> app([&] { return Func043(nullptr, "Receive Into", folder); });
    HWND browser = waitForWindow("Browse for Folder", "#32770");
    ASSERT_TRUE(browser);
    EXPECT_EQ(itemText(browser, kBrowserPath), tmp.file("beta"));
    EXPECT_TRUE(FindWindowExA(browser, nullptr, "Static", "Receive Into"));
    HWND list = FindWindowExA(browser, nullptr, "ListBox", nullptr);
    ASSERT_TRUE(list);
    EXPECT_EQ(listItems(list), (std::vector<std::string>{"[..]", "[inner]"}));
    click(list, 10, listItemY(list, listIndexOf(list, "[inner]")));
    click(GetDlgItem(browser, IDOK));
    EXPECT_EQ(app.result(-999), 1);
    EXPECT_EQ(std::string(folder), tmp.file("beta/inner"));
}

TEST_F(FolderBrowser, CancelLeavesTheBufferAlone) {
    std::strcpy(folder, tmp.path().c_str());
    App<LONG> app([&] { return Func043(nullptr, "Receive Into", folder); });
    HWND browser = waitForWindow("Browse for Folder", "#32770");
    ASSERT_TRUE(browser);
    EXPECT_EQ(itemText(browser, kBrowserPath), tmp.path());
    key(browser, VK_ESCAPE);
    EXPECT_EQ(app.result(-999), 0);
    EXPECT_EQ(std::string(folder), tmp.path());
}

} // namespace
