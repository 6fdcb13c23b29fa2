// The settings dialog of the built module, driven from outside its process as a user would.
#include <gtest/gtest.h>

#include "resources/ResourceIds.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// Values of the product key: name -> type and bytes as read back.
using Values = std::map<std::string, std::pair<DWORD, std::string>>;

Values::value_type Sz(const std::string& name, const std::string& text) { return {name, {REG_SZ, text + '\0'}}; }
Values::value_type Num(const std::string& name, DWORD value) { return {name, {REG_DWORD, DwordBytes(value)}}; }

// `values` completed to the seventy that OK writes, the missing ones at their defaults.
Values WithDefaults(Values values)
{
    for (unsigned n = 0; n < 10; ++n)
        for (int f = 0; f < 7; ++f)
            values.insert(f < kShowCmd ? Sz(SettingName(n, f), "") : Num(SettingName(n, f), f == kShowCmd));
    return values;
}

const int Verb = IDC_VERB_EDIT, File = IDC_FILE_EDIT, Parameters = IDC_PARAMETERS_EDIT,
          Directory = IDC_DIRECTORY_EDIT, Wait = IDC_WAIT_ACTIVE_WINDOW_CHECK, Remain = IDC_REMAIN_ACTIVE_WINDOW_CHECK;

enum Op { Type, Click, Page, Key, CloseBox, Shows, ListsEntries };

struct Step {
    Op op;
    int id;             // control; list item for Page; virtual key for Key
    std::string text;   // typed or shown; a check box shows "0" or "1"
};

void Apply(HWND dialog, const Step& s)
{
    HWND control = GetDlgItem(dialog, s.id), list = GetDlgItem(dialog, IDC_ENTRY_LIST);
    char text[400] = "";
    switch (s.op) {
    case Type: SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str())); break;
    case Click: SendMessageA(control, BM_CLICK, 0, 0); break;
    case Page:
        SendMessageA(list, LB_SETCURSEL, s.id, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ENTRY_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        break;
    case Key:   // real keyboard input: the dialog's own loop must turn it into a command
        SetForegroundWindow(dialog);
        keybd_event(s.id, 0, 0, 0), keybd_event(s.id, 0, KEYEVENTF_KEYUP, 0);
        break;
    case CloseBox: PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case Shows:
        SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(s.text, s.id != Wait && s.id != Remain ? text
                                                          : std::to_string(SendMessageA(control, BM_GETCHECK, 0, 0)));
        break;
    case ListsEntries:   // item n stands for entry n, shown as n + 1
        EXPECT_EQ(10, SendMessageA(list, LB_GETCOUNT, 0, 0));
        for (int item = 0; item < 10; ++item) {
            wchar_t wide[8];
            SendMessageW(list, LB_GETTEXT, item, reinterpret_cast<LPARAM>(wide));
            EXPECT_EQ(std::to_wstring(item + 1), wide);
        }
        break;
    }
}

struct Scenario {
    const char* name;
    Values stored;
    std::vector<Step> steps;
    DWORD exitCode;             // 0: the key is made unopenable and the error box is driven
    Values changes = {};        // after OK: the values that differ from the stored ones and the defaults
};

// Code page 932: "C:\表示" (a trail byte 0x5C), "あ", "い", and the single-byte half-width "ｱｲ".
const std::string kFolder = "C:\\\x95\x5c\x8e\xa6", kA = "\x82\xa0", kI = "\x82\xa2", kHalfWidth = "\xb1\xb2";

const Scenario kScenarios[] = {
    {"no stored settings, Cancel", {},
     {{ListsEntries}, {Shows, Wait, "0"}, {Shows, Remain, "0"}, {Page, 9}, {Shows, Verb, ""}, {Click, IDCANCEL}},
     IDCANCEL},
    {"edits on several entries survive paging, Enter", {},
     {{Type, Verb, "open"}, {Type, Directory, kFolder}, {Click, Wait}, {Page, 1}, {Shows, Verb, ""}, {Page, 0},
      {Shows, Verb, "open"}, {Shows, Directory, kFolder}, {Shows, Wait, "1"}, {Page, 3}, {Type, File, "a.txt"},
      {Click, Remain}, {Page, 5}, {Type, Parameters, "-x " + kA}, {Page, 5}, {Shows, Parameters, "-x " + kA},
      {Page, 3}, {Type, Verb, "edit"}, {Page, -1}, {Shows, Verb, "edit"}, {Type, Directory, "d"},
      {Key, VK_RETURN}}, IDOK,
     {Sz("Settings0Verb", "open"), Sz("Settings0Directory", kFolder), Num("Settings0WaitActiveWindow", 1),
      Sz("Settings3Verb", "edit"), Sz("Settings3File", "a.txt"), Sz("Settings3Directory", "d"),
      Num("Settings3RemainActiveWindow", 1), Sz("Settings5Parameters", "-x " + kA)}},
    {"Esc after paging leaves the registry as it was",
     WithDefaults({Sz("Settings0Verb", "open"), Num("Settings4ShowCmd", 3), Num("Settings2WaitActiveWindow", 7)}),
     {{Type, Verb, "edit"}, {Page, 2}, {Click, Wait}, {Page, 4}, {Type, File, "x"}, {Key, VK_ESCAPE}}, IDCANCEL},
    {"the close box drops the edits", {Sz("Settings0File", "keep")}, {{Type, File, "drop"}, {CloseBox}}, IDCANCEL},
    {"flags other than 0 and 1 and ShowCmd 3, OK without edits",
     {Num("Settings0WaitActiveWindow", 7), Num("Settings0ShowCmd", 3), Num("Settings1RemainActiveWindow", 9),
      Num("Settings2WaitActiveWindow", 5)},
     {{Shows, Wait, "1"}, {Page, 1}, {Shows, Remain, "1"}, {Click, IDOK}}, IDOK,
     {Num("Settings0WaitActiveWindow", 1), Num("Settings1RemainActiveWindow", 1)}},
    {"texts are cut to 258 bytes on character boundaries", {},
     {{Type, Verb, std::string(300, 'a')}, {Type, File, std::string(257, 'b') + kA + kI},
      {Type, Parameters, std::string(256, 'c') + kA + kI}, {Type, Directory, std::string(257, 'd') + kHalfWidth},
      {Click, IDOK}}, IDOK,
     {Sz("Settings0Verb", std::string(258, 'a')), Sz("Settings0File", std::string(257, 'b')),
      Sz("Settings0Parameters", std::string(256, 'c') + kA), Sz("Settings0Directory", std::string(257, 'd') + "\xb1")}},
    {"Erase", {Sz("Settings0Verb", "open")}, {{Type, Verb, "edit"}, {Click, IDC_ERASE_BUTTON}}, IDC_ERASE_BUTTON},
    {"the key cannot be opened", {}, {{Shows, 0xFFFF, "\x90\xdd\x92\xe8\x82\xcc\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xc9"
     "\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42"}, {Click, IDOK}}, 0},
};

// The owner, in turn: the window given right after "/c:", else the foreground window; none for no switch.
TEST(ConfigDialog, Scenarios)
{
    HWND given = MakeWindow(), front = MakeWindow();
    const struct { std::string tail; HWND owner; } kOwners[] = {
        {"/c:" + std::to_string(HandleToULong(given)), given}, {"/c", front}, {"", nullptr}, {"/c:4000000000", front}};
    for (const Scenario& c : kScenarios) {
        SCOPED_TRACE(c.name);
        DeleteStoredSettings();
        for (const auto& value : c.stored)
            StoreRaw(value.first, value.second.first, value.second.second);
        // A volatile maker key cannot hold the lasting product key: opening the settings fails.
        HKEY key = nullptr;
        if (!c.exitCode)
            RegCreateKeyExA(HKEY_CURRENT_USER, kMakerKeyPath, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
        RegCloseKey(key);
        const auto& owner = kOwners[(&c - kScenarios) % 4];
        ASSERT_TRUE(WaitUntil([&] { return SetForegroundWindow(front) && GetForegroundWindow() == front; }, 5000));
        ModuleProcess module;
        ASSERT_TRUE(module.Start(owner.tail));
        HWND dialog = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            return IsWindowVisible(dialog = FindWindowW(L"#32770", c.exitCode ? L"設定" : L"エラー")) != FALSE;
        }, 10000));
        if (!c.exitCode)   // the dialog ends during its creation and is never shown; it owns the error box
            EXPECT_FALSE(IsWindowVisible(FindWindowW(L"#32770", L"設定")));
        EXPECT_EQ(c.exitCode ? owner.owner : FindWindowW(L"#32770", L"設定"), GetWindow(dialog, GW_OWNER)) << owner.tail;
        for (const Step& step : c.steps)
            Apply(dialog, step);
        EXPECT_EQ(c.exitCode, module.WaitForExit(10000));
        // Every value of the product key, compared by name, type and bytes; none without the key.
        const bool kept = c.exitCode == IDOK || c.exitCode == IDCANCEL;
        Values expected = c.changes;   // the changes first: insert keeps what is there
        expected.insert(c.stored.begin(), c.stored.end());
        expected = c.exitCode == IDOK ? WithDefaults(expected) : kept ? c.stored : Values();
        for (const auto& value : expected) {
            char data[1024];
            DWORD type = 0, size = sizeof data;
            if (SHGetValueA(HKEY_CURRENT_USER, kProductKeyPath, value.first.c_str(), &type, data, &size))
                size = 0;   // a missing value reads as empty, not as the whole buffer
            EXPECT_EQ(value.second, std::make_pair(type, std::string(data, size))) << value.first;
        }
        EXPECT_EQ(kept ? int(expected.size()) : -1, ValueCount(kProductKeyPath));
        EXPECT_EQ(c.exitCode != IDC_ERASE_BUTTON, KeyExists(kMakerKeyPath));
    }
}

}  // namespace
