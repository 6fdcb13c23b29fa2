// The launcher: the settings store against the test prefix's registry, in this process; then
// the built module launching the probe program.
#include <gtest/gtest.h>

#include <cstring>

#include "launcher/LaunchTable.h"
#include "launcher/SettingsKey.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// A field as text: a string up to its zero (all 260 bytes when it has none), a number in decimal.
std::string Value(const LaunchEntry& e, int field)
{
    const char* texts[] = {e.Verb, e.File, e.Parameters, e.Directory};
    const INT32 numbers[] = {e.ShowCmd, e.WaitActiveWindow, e.RemainActiveWindow};
    return field < kShowCmd ? std::string(texts[field], strnlen(texts[field], kLaunchTextSize))
                            : std::to_string(numbers[field - kShowCmd]);
}

// Loads into a table full of junk, which the load must replace entirely: the values named in
// `loaded` as given there, all others at their defaults.
void ExpectLoaded(std::map<std::string, std::string> loaded)
{
    memset(&launchTable, 0x7F, sizeof launchTable);
    ASSERT_TRUE(OpenSettingsKey());
    LoadLaunchTable();
    CloseSettingsKey();
    for (unsigned n = 0; n < kLaunchEntryCount; ++n)
        for (int f = 0; f < 7; ++f) {
            loaded.emplace(SettingName(n, f), f < kShowCmd ? "" : f == kShowCmd ? "1" : "0");
            EXPECT_EQ(loaded[SettingName(n, f)], Value(launchTable.entries[n], f)) << SettingName(n, f);
        }
}

// A value is taken when it fits its field with its zero (a text) or in four bytes (a number), whatever its type;
// one that does not fit leaves the default. Saved as seventy values of the right type and size, it loads back the same.
TEST(SettingsStore, LoadTakesWhatFitsAndSaveWritesItAllBack)
{
    const std::string japanese = "C:\\\x83\x65\x83\x58\x83\x67", longest(259, 'v');
    const struct { const char* name; DWORD type; std::string bytes, loaded; } kStored[] = {
        {"Settings0File", REG_SZ, "prog.exe", "prog.exe"},
        {"Settings0Directory", REG_SZ, japanese, japanese},
        {"Settings1Verb", REG_SZ, longest, longest},
        {"Settings1File", REG_SZ, std::string(260, 'f'), ""},             // its zero does not fit
        {"Settings1Parameters", REG_BINARY, std::string(260, 'p'), ""},   // fills the field with no zero
        {"Settings1Directory", REG_BINARY, std::string("ab\0", 3), "ab"},
        {"Settings2Verb", REG_DWORD, "ABCD", "ABCD"},
        {"Settings2File", REG_MULTI_SZ, std::string("a\0b\0", 4), "a"},
        {"Settings4ShowCmd", REG_DWORD, "\xfb\xff\xff\xff", "-5"},
        {"Settings5WaitActiveWindow", REG_BINARY, "\x34\x12", "4660"},    // fewer bytes: the low ones
        {"Settings5RemainActiveWindow", REG_BINARY, std::string("\x01\0\0\0\0", 5), "0"},   // more than 4
        {"Settings6ShowCmd", REG_SZ, "7", "55"},
        {"Settings7ShowCmd", REG_BINARY, "", "1"},
    };
    std::map<std::string, std::string> loaded;
    for (const auto& value : kStored) {
        StoreRaw(value.name, value.type, value.bytes);
        loaded[value.name] = value.loaded;
    }
    ExpectLoaded(loaded);

    DeleteStoredSettings();
    ASSERT_TRUE(OpenSettingsKey());
    SaveLaunchTable();
    CloseSettingsKey();
    EXPECT_EQ(70, ValueCount(kProductKeyPath));
    for (unsigned n = 0; n < kLaunchEntryCount; ++n)
        for (int f = 0; f < 7; ++f) {
            // Strings are kept in UTF-16: the wide size shows whether the zero was stored.
            std::string name = SettingName(n, f), text = Value(launchTable.entries[n], f), key = kProductKeyPath;
            std::wstring wideName(name.begin(), name.end()), wideKey(key.begin(), key.end());
            DWORD type = 0, size = 0, wideLength = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
            SHGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(), &type, nullptr, &size);
            EXPECT_EQ(f < kShowCmd ? REG_SZ : REG_DWORD, type) << name;
            EXPECT_EQ(f < kShowCmd ? 2 * wideLength : 4, size) << name;
        }
    ExpectLoaded(loaded);
}

TEST(SettingsStore, EraseKeepsTheMakerKeyOnlyWhenItHoldsMore)
{
    // Another program's value: nowhere else (in the product key), in a subkey of the maker
    // key, in the maker key itself.
    for (const char* other : {kProductKeyPath, "software\\Quillmoor\\Other", kMakerKeyPath}) {
        SCOPED_TRACE(other);
        DeleteStoredSettings();
        for (const char* path : {"software\\Quillmoor\\Ferrowind\\Nested\\Deeper", other})
            SHSetValueA(HKEY_CURRENT_USER, path, "Other", REG_SZ, "", 1);
        ASSERT_TRUE(OpenSettingsKey());
        EraseSettings();
        EXPECT_FALSE(KeyExists(kProductKeyPath));
        EXPECT_EQ(other != kProductKeyPath, KeyExists(kMakerKeyPath));
        ExpectLoaded({});
    }
}

// HKEY_CURRENT_USER of the shared prefix must keep "software", so in this process an empty
// stand-in key takes its place.
TEST(SettingsStore, OpenFailsAndCreatesNothingWithoutSoftware)
{
    HKEY standIn;
    RegCreateKeyExA(HKEY_CURRENT_USER, "software\\FerrowindStandIn", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &standIn,
                    nullptr);
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, standIn));
    EXPECT_FALSE(OpenSettingsKey());
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    CloseSettingsKey();
    RegCloseKey(standIn);
    EXPECT_FALSE(KeyExists("software\\FerrowindStandIn\\software"));
    SHDeleteKeyA(HKEY_CURRENT_USER, "software\\FerrowindStandIn");
}

TEST(LaunchBlackBox, LaunchesInTableOrderWithTheStoredValues)
{
    // Entry 0's probe never takes the activation, the others' do 300 ms after their start; the saver waits, at
    // most 20 s. The long wait comes first: Wine's X focus events after an activation may show it the desktop in front.
    const std::string options = "500 300 alpha \"two words\"  \x83\x65\x83\x58\x83\x67";
    StoreLaunch(0, "n0", "", 1, 0);
    StoreLaunch(1, "b1", "", 0, 0);
    StoreText("Settings1Verb", "");
    StoreLaunch(2, "c2", "", 0, 0, "");
    StoreLaunch(5, "a5", options, 1, 0);
    StoreText("Settings5Directory", kLogFolder);
    StoreNumber("Settings5ShowCmd", 3);
    StoreLaunch(6, "e6", "500 300", 1, 0);
    ModuleProcess module;
    HWND saver = module.StartSaver();
    ASSERT_NE(nullptr, saver);
    // During entry 0's wait the saver answers what another thread sends, and keeps a key for after the pass.
    ASSERT_TRUE(WaitUntil([] { return ProbeStarts().count("n0"); }, 10000));
    EXPECT_TRUE(SendMessageTimeoutA(saver, WM_NULL, 0, 0, SMTO_NORMAL, 1000, nullptr)) << "a sender hangs";
    PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_TRUE(WaitUntil([] { return ProbeStarts().count("e6"); }, 30000)) << "the wait for entry 0 never ended";
    EXPECT_EQ(0u, module.WaitForExit(5000));
    auto starts = ProbeStarts();
    ASSERT_EQ(1u, starts["a5"].size());
    const ProbeStart& a5 = starts["a5"][0];
    EXPECT_EQ(0u, starts.count("b1") + starts.count("c2")) << "an entry without a verb or a file was launched";
    EXPECT_EQ("\"" + kProbePath + "\" " + ProbeTag("a5") + " " + options, a5.commandLine);
    EXPECT_EQ(kLogFolder, a5.folder);
    EXPECT_EQ(3, a5.show);
    EXPECT_GE(static_cast<LONG>(a5.launched - starts["n0"][0].launched), 20000) << "a wait ended early";
}

// Each launch: wait, remain, and 1 for a launch that fails. The saver is released when it
// leaves the last launched probe, and later thieves, active. All are judged over the same second:
// each released row's last launch, pulling back instead, ends another row, which shows it is enough.
const struct { const char* name; std::vector<std::vector<int>> launches; bool released; } kActivations[] = {
    {"wait, remain", {{1, 1, 0}}, true},
    {"no wait, remain", {{0, 1, 0}}, true},
    {"remain, then pull back", {{1, 1, 0}, {1, 0, 0}}, false},
    {"pull back, then remain", {{1, 0, 0}, {1, 1, 0}}, true},
    {"pull back, then a failed remain", {{0, 0, 0}, {1, 1, 1}}, false},
    {"nothing stored", {}, false},
};

TEST(LaunchBlackBox, ActivationAfterTheLaunches)
{
    for (const auto& c : kActivations) {
        SCOPED_TRACE(c.name);
        ResetBed();   // the last row's probes gone too
        std::string last;
        for (unsigned n = 0; n < c.launches.size(); ++n) {
            std::string tag = "p" + std::to_string(n), file = c.launches[n][2] ? tag + ".exe" : kProbePath;
            StoreLaunch(n, tag, "2000 0", c.launches[n][0], c.launches[n][1], file);
            last = c.launches[n][2] ? last : tag;
        }
        ModuleProcess module;
        HWND saver = module.StartSaver(), probe = nullptr;
        ASSERT_NE(nullptr, saver);
        // Wine's X11 focus events may give the foreground to the desktop for a moment, so this
        // asks whether the saver comes (back) to the front, not whether another window keeps it.
        auto saverInFront = [&] { return WaitUntil([&] { return GetForegroundWindow() == saver; }, 1000); };
        EXPECT_TRUE(last.empty() ||
                    WaitUntil([&] { return (probe = FindWindowA(nullptr, ProbeTag(last).c_str())) != nullptr; }, 10000));
        if (c.released)
            EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == probe; }, 3000));
        EXPECT_NE(c.released, saverInFront());
        HWND thief = MakeWindow();
        SetForegroundWindow(thief);
        EXPECT_NE(c.released, saverInFront()) << "after a later steal";
        DestroyWindow(thief);
        EXPECT_TRUE(module.Running()) << "the saver ended on its own";
        EXPECT_EQ(0u, module.EndWithKeyPress(saver));
    }
}

}  // namespace
