// Vorn's resources as the shell and the program find them.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/message.h"
#include "res/resource.h"

namespace {

const WORD kLang = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033

const wchar_t kDefaultText[] =
    L"#window(Manila)\r\n#window(TEETER)\r\n#window(opera)\r\n#window(htcalbum)\r\n"
    L"#window(cprog.exe)\r\n#timeout(1000)\r\n#onlyfor(0)\r\n#fdscreenoff(0)\r\n";

TEST(StringTable, EveryTextExactly)
{
    const struct {
        UINT id;
        const wchar_t *text;
    } cases[] = {
        {106, L"VORN"},
        {107, L"Vorn G-Sensor Rotation - by the Vorn team"},
        {108, L"Ver.%d.%d\nStatus %s\n\nContact: vorn-team@example.org\nWeb: https://vorn.example.org"},
        {109, L"Ver.%d.%d\nStatus %s.\nUnload program?"},
        {110, L"ON"},
        {111, L"OFF"},
        {112, L"Cannot connect to GSensor (%d)"},
        {113, L"Delete Vorn shortcut from windows startup?"},
        {114, L"Add Vorn shortcut to windows startup?"},
        {116, kDefaultText},
        {117, L"New events are not recorded: to record them, end the text with the line #log(1) "
              L"and choose Save."},
        {119, L"No event has been recorded yet."},
        {120, L"The configuration file is missing."},
        {121, L"The configuration file could not be read."},
    };
    for (const auto &c : cases) {
        LPCWSTR text = LoadResString(c.id);
        ASSERT_NE(nullptr, text) << c.id;
        EXPECT_STREQ(c.text, text) << c.id;
    }
    EXPECT_EQ(nullptr, LoadResString(115));
    // 118 numbers the editor's icon group: no string shares it.
    EXPECT_EQ(nullptr, LoadResString(118));
}

TEST(StringTable, EntriesAreStoredWithTheirTerminator)
{
    HMODULE self = GetModuleHandleW(NULL);
    for (UINT id :
         {106u, 107u, 108u, 109u, 110u, 111u, 112u, 113u, 114u, 116u, 117u, 119u, 120u, 121u}) {
        LPCWSTR text = nullptr;
        int stored = LoadStringW(self, id, (LPWSTR)&text, 0);
        ASSERT_NE(nullptr, text) << id;
        EXPECT_EQ((int)wcslen(text) + 1, stored) << id;
        EXPECT_EQ(L'\0', text[stored - 1]) << id;
    }
}

TEST(StringTable, DefaultConfigurationIs135Characters)
{
    LPCWSTR text = LoadResString(IDS_DEFAULT_CONFIG);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(135u, wcslen(text));
    EXPECT_EQ(0, memcmp(kDefaultText, text, sizeof(kDefaultText)));
}

TEST(StringTable, IsEnglishUnitedStates)
{
    // Strings live in blocks of 16: ids 96..111 and 112..127.
    HMODULE self = GetModuleHandleW(NULL);
    EXPECT_NE(nullptr, FindResourceExW(self, RT_STRING, MAKEINTRESOURCEW(106 / 16 + 1), kLang));
    EXPECT_NE(nullptr, FindResourceExW(self, RT_STRING, MAKEINTRESOURCEW(116 / 16 + 1), kLang));
}

struct MenuItem {
    const wchar_t *text;  // nullptr: separator
    UINT id;
};

void ExpectPopup(HMENU popup, const std::vector<MenuItem> &items)
{
    ASSERT_EQ((int)items.size(), GetMenuItemCount(popup));
    for (size_t i = 0; i < items.size(); ++i) {
        wchar_t text[64] = L"";
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 64;
        ASSERT_TRUE(GetMenuItemInfoW(popup, (UINT)i, TRUE, &info));
        if (!items[i].text) {
            EXPECT_TRUE(info.fType & MFT_SEPARATOR) << i;
            continue;
        }
        EXPECT_STREQ(items[i].text, text) << i;
        EXPECT_EQ(items[i].id, info.wID) << items[i].text;
    }
}

TEST(MenuBar, FileAndEditWithTheirCommands)
{
    HMENU menu = LoadMenuW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDM_MENUBAR));
    ASSERT_NE(nullptr, menu);
    EXPECT_NE(nullptr, FindResourceExW(GetModuleHandleW(NULL), RT_MENU,
                                       MAKEINTRESOURCEW(IDM_MENUBAR), kLang));
    ASSERT_EQ(2, GetMenuItemCount(menu));
    wchar_t label[16];
    GetMenuStringW(menu, 0, label, 16, MF_BYPOSITION);
    EXPECT_STREQ(L"File", label);
    GetMenuStringW(menu, 1, label, 16, MF_BYPOSITION);
    EXPECT_STREQ(L"Edit", label);
    ExpectPopup(GetSubMenu(menu, 0), {{L"About", 40006},
                                      {nullptr, 0},
                                      {L"Startup", 40007},
                                      {nullptr, 0},
                                      {L"Save", 20017},
                                      {nullptr, 0},
                                      {L"Exit", 2}});
    ExpectPopup(GetSubMenu(menu, 1), {{L"Undo", 20018},
                                      {L"Cut", 20016},
                                      {L"Copy", 20013},
                                      {L"Paste", 20014},
                                      {L"Select all", 20015},
                                      {nullptr, 0},
                                      {L"Select process name", 40009},
                                      {L"Select window class", 40004},
                                      {L"Select window name", 40005},
                                      {nullptr, 0},
                                      {L"Restore default", 40008},
                                      {nullptr, 0},
                                      {L"Show log", 40010}});
    DestroyMenu(menu);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

std::string IconImage(WORD id)
{
    HMODULE self = GetModuleHandleW(NULL);
    HRSRC found = FindResourceExW(self, RT_ICON, MAKEINTRESOURCEW(id), kLang);
    if (!found)
        return "";
    return std::string((const char *)LockResource(LoadResource(self, found)),
                       SizeofResource(self, found));
}

TEST(Icons, TwoGroupsOf16And32PixelImagesIn256Colours)
{
    HMODULE self = GetModuleHandleW(NULL);
    const struct {
        WORD group;
        WORD small, large;
    } groups[] = {{104, 1, 2}, {118, 3, 4}};
    for (const auto &g : groups) {
        HRSRC found = FindResourceExW(self, RT_GROUP_ICON, MAKEINTRESOURCEW(g.group), kLang);
        ASSERT_NE(nullptr, found) << g.group;
        const GroupIconHeader *header =
            (const GroupIconHeader *)LockResource(LoadResource(self, found));
        ASSERT_EQ(2, header->count);
        EXPECT_EQ(16, header->entries[0].width);
        EXPECT_EQ(g.small, header->entries[0].id);
        EXPECT_EQ(32, header->entries[1].width);
        EXPECT_EQ(g.large, header->entries[1].id);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(8, header->entries[i].bitCount);
            std::string image = IconImage(header->entries[i].id);
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            EXPECT_EQ(8, ((const BITMAPINFOHEADER *)image.data())->biBitCount);
        }
    }
    EXPECT_NE(IconImage(1), IconImage(3));
    EXPECT_NE(IconImage(2), IconImage(4));
}

TEST(HighResolutionMarker, HoldsTheWordOne)
{
    HMODULE self = GetModuleHandleW(NULL);
    HRSRC found = FindResourceExW(self, L"CEUX", L"HI_RES_AWARE", kLang);
    ASSERT_NE(nullptr, found);
    ASSERT_EQ(2u, SizeofResource(self, found));
    const BYTE *data = (const BYTE *)LockResource(LoadResource(self, found));
    EXPECT_EQ(0x01, data[0]);
    EXPECT_EQ(0x00, data[1]);
}

}  // namespace
