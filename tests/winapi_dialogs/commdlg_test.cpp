// The Open, Save As and folder dialogs driven by a person: finding them by
// their titles, reading their lists, typing names, opening folders, answering
// their questions; and what the application gets back.
#include "dlgtest.h"

#include "support.h"

#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace dlgtest;

namespace {

std::vector<std::string> listItems(HWND list) {
    std::vector<std::string> out;
    int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; i++) {
        char buf[MAX_PATH];
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
        out.push_back(buf);
    }
    return out;
}

int itemY(HWND list, int i) {
    RECT r;
    SendMessageA(list, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
    return (r.top + r.bottom) / 2;
}

int indexOf(HWND list, const char *s) {
    return static_cast<int>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(s)));
}

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *f : {"a.txt", "b.txt", "c.doc", ".hidden.txt", "map.kbd"}) std::ofstream(tmp.file(f)) << "x";
        CreateDirectoryA(tmp.file("sub").c_str(), nullptr);
        std::ofstream(tmp.file("sub/d.txt")) << "x";
        GetCurrentDirectoryA(sizeof cwd, cwd);
        o.lStructSize = sizeof o;
        o.lpstrFilter = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
        o.nFilterIndex = 1;
        o.lpstrFile = file;
        o.nMaxFile = sizeof file;
        o.lpstrFileTitle = title;
        o.nMaxFileTitle = sizeof title;
        o.lpstrInitialDir = tmp.path().c_str();
        o.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    }
    void TearDown() override { SetCurrentDirectoryA(cwd); }
    testsupport::TempDir tmp;
    char cwd[MAX_PATH];
    char file[600] = "";
    char title[64] = "";
    OPENFILENAMEA o{};
};

TEST_F(FileDialogs, OpenShowsTheFilesOfTheTypeAndGivesTheTypedOne) {
    App<BOOL> app([&] { return GetOpenFileNameA(&o); });
    HWND dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(listItems(GetDlgItem(dlg, lst1)), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(listItems(GetDlgItem(dlg, lst2)), (std::vector<std::string>{"[..]", "[sub]"}));
    EXPECT_EQ(itemText(dlg, stc1), tmp.path());
    EXPECT_EQ(itemText(dlg, edt1), "*.txt");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, chx1)));
    type(dlg, "b.txt\n");
    ASSERT_EQ(app.result(), TRUE);
    std::string path = tmp.file("b.txt");
    EXPECT_EQ(std::string(file), path);
    EXPECT_EQ(o.nFileOffset, path.size() - 5);
    EXPECT_EQ(o.nFileExtension, path.size() - 3);
    EXPECT_STREQ(title, "b.txt");
    EXPECT_EQ(o.nFilterIndex, 1u);
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STREQ(now, cwd);
}

TEST_F(FileDialogs, AnotherTypeListsMoreAndIsReported) {
    App<BOOL> app([&] { return GetOpenFileNameA(&o); });
    HWND dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    HWND types = GetDlgItem(dlg, cmb1);
    EXPECT_EQ(SendMessageA(types, CB_GETCOUNT, 0, 0), 2);
    click(types);
    key(types, VK_DOWN);
    key(types, VK_RETURN);
    HWND files = GetDlgItem(dlg, lst1);
    EXPECT_EQ(listItems(files), (std::vector<std::string>{"a.txt", "b.txt", "c.doc", "map.kbd"}));
    EXPECT_EQ(itemText(dlg, edt1), "*.*");
    doubleClick(files, 10, itemY(files, indexOf(files, "c.doc")));
    ASSERT_EQ(app.result(), TRUE);
    EXPECT_EQ(std::string(file), tmp.file("c.doc"));
    EXPECT_EQ(o.nFilterIndex, 2u);
}

TEST_F(FileDialogs, FoldersOpenByDoubleClickOrByTheirNames) {
    lstrcpyA(file, "*.kbd"); // a pattern as the first name filters the list
    App<BOOL> app([&] { return GetOpenFileNameA(&o); });
    HWND dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    HWND files = GetDlgItem(dlg, lst1), folders = GetDlgItem(dlg, lst2);
    EXPECT_EQ(listItems(files), (std::vector<std::string>{"map.kbd"}));
    EXPECT_EQ(itemText(dlg, edt1), "*.kbd");
    type(dlg, "*.txt\n");
    doubleClick(folders, 10, itemY(folders, indexOf(folders, "[sub]")));
    EXPECT_EQ(itemText(dlg, stc1), tmp.file("sub"));
    EXPECT_EQ(listItems(files), (std::vector<std::string>{"d.txt"}));
    doubleClick(folders, 10, itemY(folders, indexOf(folders, "[..]")));
    EXPECT_EQ(itemText(dlg, stc1), tmp.path());
    // A folder's name typed in the field opens it.
    click(GetDlgItem(dlg, edt1));
    SetDlgItemTextA(dlg, edt1, "sub");
    key(dlg, VK_RETURN);
    EXPECT_EQ(itemText(dlg, stc1), tmp.file("sub"));
    EXPECT_FALSE(app.done());
    click(files, 10, itemY(files, 0));
    EXPECT_EQ(itemText(dlg, edt1), "d.txt");
    click(GetDlgItem(dlg, IDOK));
    ASSERT_EQ(app.result(), TRUE);
    EXPECT_EQ(std::string(file), tmp.file("sub/d.txt"));
}

TEST_F(FileDialogs, AMissingFileIsToldAndTheDialogStays) {
    App<DWORD> app([&] { return GetOpenFileNameA(&o) ? 0xFFFFu : CommDlgExtendedError(); });
    HWND dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    SetDlgItemTextA(dlg, edt1, "nope.txt");
    PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    // The box has the dialog's title.
    HWND box = waitForOther("#32770", "Open", dlg);
    ASSERT_TRUE(box);
    EXPECT_NE(itemText(box, 0xFFFF).find("nope.txt\nFile not found."), std::string::npos);
    EXPECT_FALSE(IsWindowEnabled(dlg));
    key(box, VK_RETURN);
    EXPECT_TRUE(IsWindowEnabled(dlg));
    EXPECT_FALSE(app.done());
    key(dlg, VK_ESCAPE);
    // Cancelled: no error.
    EXPECT_EQ(app.result(), 0u);
}

TEST_F(FileDialogs, SeveralFilesComeBackInTheExplorerForm) {
    o.Flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    App<BOOL> app([&] { return GetOpenFileNameA(&o); });
    HWND dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    HWND files = GetDlgItem(dlg, lst1);
    click(files, 10, itemY(files, 0));
    WapiSendKey(files, VK_CONTROL, TRUE);
    click(files, 10, itemY(files, 1));
    WapiSendKey(files, VK_CONTROL, FALSE);
    EXPECT_EQ(itemText(dlg, edt1), "\"a.txt\" \"b.txt\"");
    click(GetDlgItem(dlg, IDOK));
    ASSERT_EQ(app.result(), TRUE);
    std::string want = tmp.path() + std::string("\0a.txt\0b.txt\0\0", 14);
    EXPECT_EQ(std::string(file, want.size()), want);
    EXPECT_EQ(o.nFileOffset, tmp.path().size() + 1);
    EXPECT_EQ(o.nFileExtension, 0);

    // One file of a multiple selection is a whole path ending in two NULs.
    App<BOOL> one([&] { return GetOpenFileNameA(&o); });
    dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    type(dlg, "\"b.txt\"\n");
    ASSERT_EQ(one.result(), TRUE);
    std::string path = tmp.file("b.txt");
    EXPECT_EQ(std::string(file, path.size() + 2), path + std::string(2, '\0'));
}

TEST_F(FileDialogs, ABufferTooSmallSaysHowMuchIsNeeded) {
    o.nMaxFile = 10;
    // The error belongs to the thread that showed the dialog.
    App<DWORD> app([&] { return GetOpenFileNameA(&o) ? 0xFFFFu : CommDlgExtendedError(); });
    HWND dlg = waitForWindow("Open");
    ASSERT_TRUE(dlg);
    type(dlg, "a.txt\n");
    EXPECT_EQ(app.result(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    WORD need;
    std::memcpy(&need, file, sizeof need);
    EXPECT_EQ(need, tmp.file("a.txt").size() + 1);
}

TEST_F(FileDialogs, SaveAsksBeforeReplacingAndAddsTheExtension) {
    o.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    o.lpstrDefExt = "txt";
    o.lpstrTitle = "Save Capture As";
    App<BOOL> app([&] { return GetSaveFileNameA(&o); });
    HWND dlg = waitForWindow("Save Capture As");
    ASSERT_TRUE(dlg);
    type(dlg, "a\n");
    HWND box = waitForOther("#32770", "Save Capture As", dlg);
    ASSERT_TRUE(box);
    EXPECT_EQ(itemText(box, 0xFFFF), tmp.file("a.txt") + " already exists.\nDo you want to replace it?");
    click(GetDlgItem(box, IDNO));
    EXPECT_FALSE(app.done());
    // Back in the field, where "a" still stands.
    type(dlg, "\bfresh\n");
    ASSERT_EQ(app.result(), TRUE);
    EXPECT_EQ(std::string(file), tmp.file("fresh.txt"));
    EXPECT_FALSE(o.Flags & OFN_EXTENSIONDIFFERENT);
    // Without OFN_NOCHANGEDIR the current directory follows the choice.
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_EQ(std::string(now), tmp.path());
}

TEST_F(FileDialogs, BadStructuresFailAtOnce) {
    o.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&o));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    o.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    o.lpstrFile = nullptr;
    EXPECT_FALSE(GetSaveFileNameA(&o));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
    EXPECT_FALSE(GetOpenFileNameA(nullptr));
}

// ---- the folder browser ------------------------------------------------------------------------

struct Heard {
    std::vector<std::string> selections;
    int initialized = 0;
    std::string start;
};

int CALLBACK browseCallback(HWND h, UINT msg, LPARAM lp, LPARAM data) {
    auto *heard = reinterpret_cast<Heard *>(data);
    if (msg == BFFM_INITIALIZED) {
        heard->initialized++;
        SendMessageA(h, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(heard->start.c_str()));
    }
    if (msg == BFFM_SELCHANGED) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lp), path)) heard->selections.push_back(path);
    }
    return 0;
}

class FolderBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryA(tmp.file("alpha").c_str(), nullptr);
        CreateDirectoryA(tmp.file("beta").c_str(), nullptr);
        CreateDirectoryA(tmp.file("beta/inner").c_str(), nullptr);
        std::ofstream(tmp.file("file.txt")) << "x";
        heard.start = tmp.path();
        bi.lpszTitle = "Select the receive folder";
        bi.ulFlags = BIF_RETURNONLYFSDIRS;
        bi.lpfn = browseCallback;
        bi.lParam = reinterpret_cast<LPARAM>(&heard);
        bi.pszDisplayName = display;
    }
    std::string pathOf(PIDLIST_ABSOLUTE pidl) {
        char path[MAX_PATH] = "";
        EXPECT_TRUE(SHGetPathFromIDListA(pidl, path));
        LPMALLOC m = nullptr;
        EXPECT_EQ(SHGetMalloc(&m), S_OK);
        m->Free(pidl);
        m->Release();
        return path;
    }
    testsupport::TempDir tmp;
    Heard heard;
    BROWSEINFOA bi{};
    char display[MAX_PATH] = "";
};

TEST_F(FolderBrowser, TheCallbackChoosesTheStartAndHearsEveryChange) {
    App<PIDLIST_ABSOLUTE> app([&] { return SHBrowseForFolderA(&bi); });
    HWND dlg = waitForWindow("Browse for Folder");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(heard.initialized, 1);
    HWND list = FindWindowExA(dlg, nullptr, "ListBox", nullptr);
    ASSERT_TRUE(list);
    // Folders only.
    EXPECT_EQ(listItems(list), (std::vector<std::string>{"[..]", "[alpha]", "[beta]"}));
    ASSERT_FALSE(heard.selections.empty());
    EXPECT_EQ(heard.selections.back(), tmp.path());
    click(list, 10, itemY(list, indexOf(list, "[beta]")));
    EXPECT_EQ(heard.selections.back(), tmp.file("beta"));
    click(GetDlgItem(dlg, IDOK));
    PIDLIST_ABSOLUTE pidl = app.result();
    ASSERT_TRUE(pidl);
    EXPECT_EQ(pathOf(pidl), tmp.file("beta"));
    EXPECT_STREQ(display, "beta");
}

TEST_F(FolderBrowser, DoubleClicksOpenFoldersAndOkTakesTheOpenOne) {
    App<PIDLIST_ABSOLUTE> app([&] { return SHBrowseForFolderA(&bi); });
    HWND dlg = waitForWindow("Browse for Folder");
    ASSERT_TRUE(dlg);
    HWND list = FindWindowExA(dlg, nullptr, "ListBox", nullptr);
    doubleClick(list, 10, itemY(list, indexOf(list, "[beta]")));
    EXPECT_EQ(listItems(list), (std::vector<std::string>{"[..]", "[inner]"}));
    doubleClick(list, 10, itemY(list, indexOf(list, "[..]")));
    doubleClick(list, 10, itemY(list, indexOf(list, "[alpha]")));
    EXPECT_EQ(heard.selections.back(), tmp.file("alpha"));
    click(GetDlgItem(dlg, IDOK));
    PIDLIST_ABSOLUTE pidl = app.result();
    ASSERT_TRUE(pidl);
    EXPECT_EQ(pathOf(pidl), tmp.file("alpha"));
}

TEST_F(FolderBrowser, CancelGivesNothingAndARootKeepsTheBrowserBelowIt) {
    {
        App<PIDLIST_ABSOLUTE> app([&] { return SHBrowseForFolderA(&bi); });
        HWND dlg = waitForWindow("Browse for Folder");
        ASSERT_TRUE(dlg);
        key(dlg, VK_ESCAPE);
        EXPECT_EQ(app.result(), nullptr);
    }
    // A root from an earlier choice: no way up from it.
    heard.start = tmp.file("beta");
    App<PIDLIST_ABSOLUTE> first([&] { return SHBrowseForFolderA(&bi); });
    HWND dlg = waitForWindow("Browse for Folder");
    ASSERT_TRUE(dlg);
    key(dlg, VK_RETURN);
    PIDLIST_ABSOLUTE root = first.result();
    ASSERT_TRUE(root);
    bi.pidlRoot = root;
    heard.start = tmp.path(); // above the root: refused
    App<PIDLIST_ABSOLUTE> app([&] { return SHBrowseForFolderA(&bi); });
    dlg = waitForWindow("Browse for Folder");
    ASSERT_TRUE(dlg);
    HWND list = FindWindowExA(dlg, nullptr, "ListBox", nullptr);
    EXPECT_EQ(listItems(list), (std::vector<std::string>{"[inner]"}));
    key(dlg, VK_ESCAPE);
    EXPECT_EQ(app.result(), nullptr);
    ILFree(root);
}

TEST(ShellAllocator, WorksThroughItsTableFromCAsFromCxx) {
    LPMALLOC m = nullptr;
    ASSERT_EQ(SHGetMalloc(&m), S_OK);
    // C sees the object as a pointer to a table of functions taking it first.
    using AllocFn = void *(*)(IMalloc *, SIZE_T);
    using FreeFn = void (*)(IMalloc *, void *);
    using SizeFn = SIZE_T (*)(IMalloc *, void *);
    void **table = *reinterpret_cast<void ***>(m);
    void *p = reinterpret_cast<AllocFn>(table[3])(m, 100);
    ASSERT_TRUE(p);
    std::memset(p, 0xAB, 100);
    EXPECT_EQ(reinterpret_cast<SizeFn>(table[6])(m, p), 100u);
    EXPECT_EQ(m->GetSize(p), 100u);
    EXPECT_EQ(m->DidAlloc(p), 1);
    p = m->Realloc(p, 300);
    ASSERT_TRUE(p);
    EXPECT_EQ(static_cast<unsigned char *>(p)[99], 0xAB);
    reinterpret_cast<FreeFn>(table[5])(m, p);
    m->Free(nullptr);
    m->Release();
    char path[MAX_PATH] = "x";
    EXPECT_FALSE(SHGetPathFromIDListA(nullptr, path));
    EXPECT_STREQ(path, "");
    BYTE junk[16] = {12, 0, 'N', 'O', 'P', 'E', 'a', 'b', 'c', 'd', 'e', 0, 0, 0};
    EXPECT_FALSE(SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(junk), path));
}

} // namespace
