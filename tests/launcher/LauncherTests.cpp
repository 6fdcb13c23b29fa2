// The launcher: the settings store against the test prefix's registry and the activation wait,
// in-process; then the built module under Wine, launching the probe program.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <shlwapi.h>

#include "launcher/LaunchSequencer.h"
#include "launcher/LaunchTable.h"
#include "launcher/SettingsKey.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char* const kFieldNames[] = {"Verb", "File", "Parameters", "Directory", "ShowCmd", "WaitActiveWindow",
                                   "RemainActiveWindow"};
enum { kVerb, kFile, kParameters, kDirectory, kShowCmd, kWait, kRemain };

std::string Name(unsigned entry, int field)
{
    return "Settings" + std::to_string(entry) + kFieldNames[field];
}

// A field as text: a string up to its zero (all 260 bytes when it has none), a number in decimal.
std::string Value(const LaunchEntry& e, int field)
{
    const char* texts[] = {e.Verb, e.File, e.Parameters, e.Directory};
    const INT32 numbers[] = {e.ShowCmd, e.WaitActiveWindow, e.RemainActiveWindow};
    return field < kShowCmd ? std::string(texts[field], strnlen(texts[field], kLaunchTextSize))
                            : std::to_string(numbers[field - kShowCmd]);
}

// Loads into a table full of junk, which the load must replace entirely: the fields named in
// `loaded` as given there, all others with their default.
void ExpectLoaded(std::map<std::string, std::string> loaded = {})
{
    memset(&launchTable, 0x7F, sizeof launchTable);
    ASSERT_TRUE(OpenSettingsKey());
    LoadLaunchTable();
    CloseSettingsKey();
    for (unsigned n = 0; n < kLaunchEntryCount; ++n)
        for (int f = 0; f < 7; ++f) {
            loaded.emplace(Name(n, f), f < kShowCmd ? "" : f == kShowCmd ? "1" : "0");
            EXPECT_EQ(loaded[Name(n, f)], Value(launchTable.entries[n], f)) << Name(n, f);
        }
}

// The stored-value tests cover every type and size; these values are the ones they cannot
// tell apart: double-byte text, the longest text, byte order and sign. The loaded table is
// saved as 70 values of the right type and size and loads back unchanged.
TEST(SettingsStore, LoadTakesWhatFitsAndSaveWritesItAllBack)
{
    const std::string japanese = "C:\\\x83\x65\x83\x58\x83\x67", longest(259, 'v');
    DeleteStoredSettings();
    StoreText("Settings0File", "prog.exe");
    StoreText("Settings0Directory", japanese);
    StoreText("Settings1Verb", longest);
    StoreNumber("Settings4ShowCmd", static_cast<DWORD>(-5));
    StoreRaw("Settings5WaitActiveWindow", REG_BINARY, "\x34\x12", 2);   // fewer bytes: the low ones
    const std::map<std::string, std::string> loaded = {{"Settings0File", "prog.exe"}, {"Settings0Directory", japanese},
                                                       {"Settings1Verb", longest}, {"Settings4ShowCmd", "-5"},
                                                       {"Settings5WaitActiveWindow", "4660"}};
    ExpectLoaded(loaded);

    DeleteStoredSettings();
    ASSERT_TRUE(OpenSettingsKey());
    SaveLaunchTable();
    CloseSettingsKey();
    EXPECT_EQ(70u, ValueCount(kProductKeyPath));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kProductKeyPath, 0, KEY_READ, &key));
    for (unsigned n = 0; n < kLaunchEntryCount; ++n)
        for (int f = 0; f < 7; ++f) {
            // Strings are kept in UTF-16: the wide size shows whether the zero was stored.
            std::string name = Name(n, f), text = Value(launchTable.entries[n], f);
            DWORD type = 0, size = 0, wideLength = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
            RegQueryValueExW(key, std::wstring(name.begin(), name.end()).c_str(), nullptr, &type, nullptr, &size);
            EXPECT_EQ(f < kShowCmd ? REG_SZ : REG_DWORD, type) << name;
            EXPECT_EQ(f < kShowCmd ? 2 * wideLength : 4, size) << name;
        }
    RegCloseKey(key);
    ExpectLoaded(loaded);
}

TEST(SettingsStore, EraseKeepsTheMakerKeyOnlyWhenItHoldsMore)
{
    // A key with a value of another program: none (in the product key), a subkey of the maker
    // key, the maker key itself.
    for (const char* other : {kProductKeyPath, "software\\Quillmoor\\Other", kMakerKeyPath}) {
        SCOPED_TRACE(other);
        DeleteStoredSettings();
        for (const char* path : {"software\\Quillmoor\\Ferrowind\\Nested", other})
            SHSetValueA(HKEY_CURRENT_USER, path, "Other", REG_SZ, "", 1);
        ASSERT_TRUE(OpenSettingsKey());
        EraseSettings();
        EXPECT_FALSE(KeyExists(kProductKeyPath));
        EXPECT_EQ(other != kProductKeyPath, KeyExists(kMakerKeyPath));
        ExpectLoaded();
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

HWND MakeWindow(const char* title, int width, int height, DWORD visible)
{
    return CreateWindowExA(0, "STATIC", title, WS_POPUP | visible, 0, 0, width, height, nullptr, nullptr, nullptr,
                           nullptr);
}

// The black-box runs see the wait end when the activation leaves; here it never does.
TEST(ActivationWait, EndsAtItsLimit)
{
    HWND held = MakeWindow("held", 100, 100, WS_VISIBLE);
    SetForegroundWindow(held);
    DWORD start = GetTickCount();
    EXPECT_FALSE(WaitForActivationToLeave(held, 300));
    EXPECT_GE(GetTickCount() - start, 300u);
    EXPECT_LT(GetTickCount() - start, 5000u);
}

// --- The built module launching the probe ---------------------------------------------------

struct ProbeLog {
    DWORD tick;
    int show;
    std::string folder, commandLine;
};

const std::string kLogFolder = BinaryDirectory() + "\\launch-logs";
const std::string kProbePath = BinaryDirectory() + "\\launch_probe.exe";

// The probe's log name `name` as a path in the log folder.
std::string Tag(const std::string& name)
{
    return kLogFolder + "\\" + name;
}

// The logs of every start of the probe, by log name; with `erase` the files go instead.
std::map<std::string, std::vector<ProbeLog>> Logs(bool erase = false)
{
    std::map<std::string, std::vector<ProbeLog>> logs;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Tag(erase ? "*" : "*.log").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        std::string file = found.cFileName;
        if (erase) {
            DeleteFileA(Tag(file).c_str());
            continue;
        }
        std::ifstream in(Tag(file));
        ProbeLog log = {};
        std::getline(in >> log.tick >> log.show >> std::ws, log.folder);
        std::getline(in, log.commandLine);
        logs[file.substr(0, file.find('-'))].push_back(log);
    }
    FindClose(search);
    return logs;
}

void Fresh()
{
    DeleteStoredSettings();
    CreateDirectoryA(kLogFolder.c_str(), nullptr);
    Logs(true);
}

// Entry `entry` launches `file` with the probe's log name `tag` and `options` as parameters.
void StoreLaunch(unsigned entry, const std::string& tag, const std::string& options, int wait, int remain,
                 const std::string& file = kProbePath)
{
    StoreText(Name(entry, kVerb).c_str(), "open");
    StoreText(Name(entry, kFile).c_str(), file);
    StoreText(Name(entry, kParameters).c_str(), Tag(tag) + " " + options);
    StoreNumber(Name(entry, kWait).c_str(), wait);
    StoreNumber(Name(entry, kRemain).c_str(), remain);
}

// Ends the full-screen saver as the user would: it must still run and end with 0.
void EndSaver(ModuleProcess& module, HWND saver)
{
    EXPECT_TRUE(module.Running()) << "the saver ended on its own";
    EXPECT_EQ(0u, module.EndWithKeyPress(saver));
}

TEST(LaunchBlackBox, LaunchesInTableOrderWithTheStoredValues)
{
    Fresh();
    // Each launched probe takes the activation 300 ms after its start; the saver waits for it.
    const std::string options = "500 300 alpha \"two words\"  \x83\x65\x83\x58\x83\x67";
    StoreLaunch(0, "a0", options, 1, 0);
    StoreText(Name(0, kDirectory).c_str(), kLogFolder);
    StoreNumber(Name(0, kShowCmd).c_str(), 3);
    StoreLaunch(1, "b1", "", 0, 0);
    StoreText(Name(1, kVerb).c_str(), "");
    StoreLaunch(4, "c4", "", 1, 1, BinaryDirectory() + "\\missing.exe");
    StoreLaunch(6, "d6", "500 300", 1, 0);
    ModuleProcess module;
    ASSERT_TRUE(module.Start("/s"));
    HWND saver = WaitForSaverWindow(5000);
    ASSERT_NE(nullptr, saver);
    ASSERT_TRUE(WaitUntil([] { return Logs().count("d6"); }, 15000));
    auto logs = Logs();
    ASSERT_EQ(1u, logs["a0"].size());
    const ProbeLog& a0 = logs["a0"][0];
    EXPECT_EQ(0u, logs.count("b1")) << "an entry with no verb was launched";
    EXPECT_EQ("\"" + kProbePath + "\" " + Tag("a0") + " " + options, a0.commandLine);
    EXPECT_EQ(kLogFolder, a0.folder);
    EXPECT_EQ(3, a0.show);
    EXPECT_GE(static_cast<LONG>(logs["d6"][0].tick - a0.tick), 300) << "entry 6 did not wait for entry 0's window";
    EndSaver(module, saver);
}

struct ActivationCase {
    const char* name;
    std::vector<std::vector<int>> launches;   // wait, remain, and 1 for a launch that fails
    bool released;   // the saver leaves the last launched probe, and later thieves, active
};

const ActivationCase kActivationCases[] = {
    {"wait, pull back", {{1, 0, 0}}, false},
    {"wait, remain", {{1, 1, 0}}, true},
    {"no wait, pull back", {{0, 0, 0}}, false},
    {"no wait, remain", {{0, 1, 0}}, true},
    {"remain, then pull back", {{1, 1, 0}, {1, 0, 0}}, false},
    {"pull back, then remain", {{1, 0, 0}, {1, 1, 0}}, true},
    {"pull back, then a failed remain", {{0, 0, 0}, {1, 1, 1}}, false},
    {"nothing stored", {}, false},
};

TEST(LaunchBlackBox, ActivationAfterTheLaunches)
{
    for (const ActivationCase& c : kActivationCases) {
        SCOPED_TRACE(c.name);
        Fresh();
        std::string last;
        for (unsigned n = 0; n < c.launches.size(); ++n) {
            std::string tag = "p" + std::to_string(n), file = c.launches[n][2] ? tag + ".exe" : kProbePath;
            StoreLaunch(n, tag, "2500 0", c.launches[n][0], c.launches[n][1], file);
            last = c.launches[n][2] ? last : tag;
        }
        ModuleProcess module;
        ASSERT_TRUE(module.Start("/s"));
        HWND saver = WaitForSaverWindow(5000), probe = nullptr;
        ASSERT_NE(nullptr, saver);
        // Wine's X11 focus events may give the foreground to the desktop for a moment, so this
        // asks whether the saver comes (back) to the front, not whether another window keeps it.
        auto saverInFront = [&](DWORD ms) { return WaitUntil([&] { return GetForegroundWindow() == saver; }, ms); };
        if (last.empty()) {   // the first start creates the two keys, empty
            EXPECT_TRUE(WaitUntil([] { return KeyExists(kProductKeyPath); }, 5000));
            EXPECT_EQ(0u, ValueCount(kMakerKeyPath) + ValueCount(kProductKeyPath));
        } else {
            EXPECT_TRUE(WaitUntil([&] { return (probe = FindWindowA(nullptr, Tag(last).c_str())) != nullptr; }, 10000));
        }
        if (c.released)
            EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == probe; }, 3000));
        EXPECT_NE(c.released, saverInFront(c.released ? 600 : 3000));
        HWND thief = MakeWindow("thief", 100, 100, WS_VISIBLE);
        SetForegroundWindow(thief);
        EXPECT_EQ(thief, GetForegroundWindow());
        EXPECT_NE(c.released, saverInFront(c.released ? 600 : 1000)) << "after a later steal";
        DestroyWindow(thief);
        EndSaver(module, saver);
        WaitUntil([&] { return !IsWindow(probe); }, 5000);   // the probes' windows close after 2.5 s
    }
}

struct PreviewCase {
    int width, height;
    bool stored, launches;
};

const PreviewCase kPreviewCases[] = {
    {639, 480, false, false},
    {640, 479, true, false},
    {640, 480, true, true},
};

TEST(LaunchBlackBox, PreviewLaunchesOnlyInAParentOfAtLeast640By480)
{
    for (const PreviewCase& c : kPreviewCases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Fresh();
        if (c.stored)
            StoreLaunch(0, "v", "", 0, 0);
        // Hidden at first: nothing in it is erased before the test starts erasing.
        HWND parent = MakeWindow("parent", c.width, c.height, 0), preview = nullptr;
        ModuleProcess module;
        ASSERT_TRUE(module.Start("/p " + std::to_string(reinterpret_cast<UINT_PTR>(parent))));
        ASSERT_TRUE(WaitUntil([&] {
            return (preview = FindWindowExA(parent, nullptr, "WindowsScreenSaverClass", "Preview")) != nullptr;
        }, 10000));
        // An erase every 20 ms holds the first tick off until the first pause of 100 ms; later
        // erases restart the timer but never run the pass again.
        ShowWindow(parent, SW_SHOWNA);
        DWORD last = GetTickCount(), pause = 0;
        for (DWORD start = last, now; (now = GetTickCount()) - start < 1300; last = now) {
            InvalidateRect(preview, nullptr, TRUE);
            pause = !pause && now - last >= 100 ? last : pause;
            PumpMessages(now - start < 500 ? 20 : 200);
        }
        if (c.launches)
            EXPECT_TRUE(WaitUntil([] { return Logs().count("v"); }, 5000));
        auto logs = Logs();
        EXPECT_EQ(c.launches ? 1u : 0u, logs["v"].size());
        for (const ProbeLog& log : logs["v"])
            EXPECT_GE(static_cast<LONG>(log.tick - pause), 100) << "launched while the erases went on";
        EXPECT_EQ(c.stored, KeyExists(kMakerKeyPath));
        DestroyWindow(parent);
        EXPECT_EQ(0u, module.WaitForExit(5000));
    }
}

}  // namespace
