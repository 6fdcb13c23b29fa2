// What the test programs share: the built module's processes, waits that pump this thread's messages,
// the saver window, the settings in the test prefix's registry, the launched probe's logs (LaunchProbe.cpp).
#pragma once

#include <windows.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/password/TestBed.h"

namespace testing_support {

inline std::string BinaryDirectory()
{
    char path[MAX_PATH];
    std::string folder(path, GetModuleFileNameA(nullptr, path, sizeof path));
    return folder.substr(0, folder.find_last_of('\\'));
}

// Ferrowind.scr, or the copy named by FERROWIND_MODULE, which Wine presents as Windows 98.
inline std::string ModulePath()
{
    const char* variant = std::getenv("FERROWIND_MODULE");
    return BinaryDirectory() + "\\" + (variant ? variant : "Ferrowind.scr");
}

inline void PumpMessages(DWORD milliseconds)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    for (DWORD start = GetTickCount(); !condition(); PumpMessages(10))
        if (GetTickCount() - start >= milliseconds)
            return false;
    return true;
}

inline HWND FindSaverWindow() { return FindWindowA("WindowsScreenSaverClass", "Screen Saver"); }
inline HWND WaitForSaverWindow()
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindSaverWindow()) != nullptr; }, 10000);
    return found;
}

// A process of the module (or of `program`), ended should it outlive its test.
class ModuleProcess {
public:
    ~ModuleProcess()
    {
        if (Running())
            TerminateProcess(info_.hProcess, 0xDEAD);
        WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    bool Start(const std::string& tail, const std::string& program = ModulePath(), DWORD flags = 0)
    {
        std::string commandLine = "\"" + program + "\" " + tail;
        STARTUPINFOA startup = {sizeof startup};
        return CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                              &startup, &info_);
    }
    HWND StartSaver(const std::string& program = ModulePath())   // the full-screen saver's window, or null
    {
        return Start("/s", program) ? WaitForSaverWindow() : nullptr;
    }
    bool Running() { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit code, or STILL_ACTIVE when the process has not ended within `milliseconds`.
    DWORD WaitForExit(DWORD milliseconds)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitUntil([&] { return !Running(); }, milliseconds))
            GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    DWORD EndWithKeyPress(HWND saver)   // as the user ends a saver
    {
        PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
        return WaitForExit(5000);
    }

private:
    PROCESS_INFORMATION info_ = {};
};

inline HWND MakeWindow(DWORD style = WS_POPUP | WS_VISIBLE, int width = 100, int height = 100)
{
    return CreateWindowExA(0, "STATIC", "", style, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}

const char kMakerKeyPath[] = "software\\Quillmoor";
const char kProductKeyPath[] = "software\\Quillmoor\\Ferrowind";
inline void DeleteStoredSettings() { SHDeleteKeyA(HKEY_CURRENT_USER, kMakerKeyPath); }
inline void StoreRaw(const std::string& name, DWORD type, const std::string& bytes)
{
    SHSetValueA(HKEY_CURRENT_USER, kProductKeyPath, name.c_str(), type, bytes.data(), DWORD(bytes.size()));
}
inline void StoreText(const std::string& name, const std::string& text) { StoreRaw(name, REG_SZ, text + '\0'); }
inline std::string DwordBytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
inline void StoreNumber(const std::string& name, DWORD value) { StoreRaw(name, REG_DWORD, DwordBytes(value)); }
// Each of the ten entries' seven values: texts, then numbers from ShowCmd on.
enum { kShowCmd = 4 };
const char* const kFields[] = {"Verb", "File", "Parameters", "Directory", "ShowCmd", "WaitActiveWindow",
                               "RemainActiveWindow"};
inline std::string SettingName(unsigned entry, int field) { return "Settings" + std::to_string(entry) + kFields[field]; }
// The values of a key of the current user's, -1 when there is no such key.
inline int ValueCount(const char* path)
{
    HKEY key;
    DWORD subkeys, longest, values = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key))
        return -1;
    SHQueryInfoKeyA(key, &subkeys, &longest, &values, &longest);
    RegCloseKey(key);
    return int(values);
}
inline bool KeyExists(const char* path) { return ValueCount(path) >= 0; }

const std::string kProbePath = BinaryDirectory() + "\\launch_probe.exe";
const std::string kLogFolder = BinaryDirectory() + "\\launch-logs";
inline std::string ProbeTag(const std::string& tag) { return kLogFolder + "\\" + tag; }

// Entry `entry` opens `file` with the probe's tag `tag` and then `options` as parameters.
inline void StoreLaunch(unsigned entry, const std::string& tag, const std::string& options, DWORD wait, DWORD remain,
                        const std::string& file = kProbePath)
{
    std::string prefix = "Settings" + std::to_string(entry);
    StoreText(prefix + "Verb", "open");
    StoreText(prefix + "File", file);
    StoreText(prefix + "Parameters", ProbeTag(tag) + " " + options);
    StoreNumber(prefix + "WaitActiveWindow", wait);
    StoreNumber(prefix + "RemainActiveWindow", remain);
}

struct ProbeStart {
    DWORD launched;   // when the saver created the process
    int show;
    std::string folder, commandLine;
};

// The probe's starts by tag; with `erase` the logs go instead.
inline std::map<std::string, std::vector<ProbeStart>> ProbeStarts(bool erase = false)
{
    std::map<std::string, std::vector<ProbeStart>> starts;
    CreateDirectoryA(kLogFolder.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(ProbeTag("*.log").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        std::string file = found.cFileName;
        std::ifstream in(ProbeTag(file));
        ProbeStart start = {};
        in.ignore(80, '\n');   // its start tick, the bench's figure
        std::getline(in >> start.launched >> start.show >> std::ws, start.folder);
        std::getline(in, start.commandLine);
        in.close();
        if (!erase || !DeleteFileA(ProbeTag(file).c_str()))
            starts[file.substr(0, file.find('-'))].push_back(start);
    }
    FindClose(search);
    return starts;
}

// Whether a launched probe still runs.
inline bool ProbeRuns()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 process = {sizeof process};
    BOOL more = Process32First(snapshot, &process);
    while (more && lstrcmpiA(process.szExeFile, "launch_probe.exe"))
        more = Process32Next(snapshot, &process);
    CloseHandle(snapshot);
    return more;
}

// Where the module loads SHELL32 from; a test may put a stand-in there for a while.
const std::string kSystemShell =
    [] { char f[MAX_PATH]; return std::string(f, GetSystemDirectoryA(f, MAX_PATH)) + "\\shell32.dll"; }();

// Each test starts from this state and leaves it so: no probe running (they end by themselves), no
// stored settings, no probe logs, no stand-in records or shell, no saver password, no saver said to run.
inline void ResetBed()
{
    MoveFileExA((kSystemShell + ".wine").c_str(), kSystemShell.c_str(), MOVEFILE_REPLACE_EXISTING);
    WaitUntil([] { return !ProbeRuns(); }, 10000);
    DeleteStoredSettings();
    SHDeleteKeyA(HKEY_CURRENT_USER, kTestBedKey);
    ProbeStarts(true);
    SHDeleteValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword");
    // Where Wine keeps the saver-running flag. Not through SystemParametersInfoA: Wine reads each
    // setting once per process, and this one would then keep the value set here.
    SHDeleteValueA(HKEY_CURRENT_USER, "Software\\Wine\\Temporary System Parameters\\Control Panel\\Desktop",
                   "WINE_ScreenSaverRunning");
}

}  // namespace testing_support
