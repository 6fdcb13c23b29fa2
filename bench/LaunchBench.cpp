// Launch timing of Ferrowind, as medians over several runs (figures only, no verdict):
//   1. process start -> first probe start: Ferrowind.scr /s started as a process;
//   2. first background erase -> first ShellExecuteA and -> first probe start: RunSaverWindow
//      in this process, the erase seen by a WH_CALLWNDPROC hook, the call by a wrapper put in
//      the launcher's ShellExecuteA pointer once the erase has set it. GetTickCount is
//      system-wide.
// Both runs store one entry that launches launch_probe.exe and nothing else; the stored
// settings of the test prefix are replaced.
//   launch_bench.exe [RUNS]
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostState.h"
#include "host/SaverWindow.h"
#include "launcher/LauncherState.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const std::string kBenchLogFolder = BinaryDirectory() + "\\launch-bench-logs";
const DWORD kNoTick = 0;

ShellExecuteProc platformShellExecute;

DWORD firstErase = kNoTick;
DWORD firstShellExecute = kNoTick;
std::string runLog;

// The start tick the probe logged as `name`, or kNoTick while it has not started.
DWORD ProbeStart(const std::string& name)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((name + "-*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return kNoTick;
    FindClose(search);
    DWORD tick = kNoTick;
    std::ifstream(kBenchLogFolder + "\\" + found.cFileName) >> tick;
    return tick;
}

void ClearLogs()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((kBenchLogFolder + "\\*.*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        DeleteFileA((kBenchLogFolder + "\\" + found.cFileName).c_str());
    FindClose(search);
}

void StoreProbeEntry(const std::string& name)
{
    DeleteStoredSettings();
    StoreText("Settings0Verb", "open");
    StoreText("Settings0File", BinaryDirectory() + "\\launch_probe.exe");
    StoreText("Settings0Parameters", name);
}

HINSTANCE WINAPI TimedShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                                   INT show)
{
    if (firstShellExecute == kNoTick)
        firstShellExecute = GetTickCount();
    return platformShellExecute(owner, verb, file, parameters, folder, show);
}

LRESULT CALLBACK WatchErase(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    char className[64] = "";
    if (code == HC_ACTION && call->message == WM_ERASEBKGND && firstErase == kNoTick &&
        GetClassNameA(call->hwnd, className, sizeof className) && !strcmp(className, kSaverClassName))
        firstErase = GetTickCount();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// After an erase the launcher holds SHELL32's ShellExecuteA; the wrapper takes its place.
LRESULT CALLBACK WrapShellExecute(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && launcherState.shellExecute && launcherState.shellExecute != TimedShellExecute) {
        platformShellExecute = launcherState.shellExecute;
        launcherState.shellExecute = TimedShellExecute;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Closes the saver once the probe has started.
void CALLBACK CloseWhenLaunched(HWND, UINT, UINT_PTR, DWORD)
{
    if (ProbeStart(runLog) != kNoTick && hostState.saverWindow)
        PostMessageA(hostState.saverWindow, WM_CLOSE, 0, 0);
}

// Returns first erase -> probe start; `toCall` receives first erase -> first ShellExecuteA.
LONG EraseToLaunch(const std::string& name, LONG* toCall)
{
    StoreProbeEntry(runLog = name);
    StartHostState();
    hostState.instance = GetModuleHandleA(nullptr);
    firstErase = firstShellExecute = kNoTick;
    HHOOK watch = SetWindowsHookExA(WH_CALLWNDPROC, WatchErase, nullptr, GetCurrentThreadId());
    HHOOK wrap = SetWindowsHookExA(WH_CALLWNDPROCRET, WrapShellExecute, nullptr, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(nullptr, 0, 20, CloseWhenLaunched);
    RunSaverWindow(nullptr);
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(wrap);
    UnhookWindowsHookEx(watch);
    UnregisterClassA(kSaverClassName, hostState.instance);
    *toCall = static_cast<LONG>(firstShellExecute - firstErase);
    return static_cast<LONG>(ProbeStart(name) - firstErase);
}

LONG ProcessToLaunch(const std::string& name)
{
    StoreProbeEntry(name);
    ModuleProcess module;
    DWORD start = GetTickCount();
    module.Start("/s");
    WaitUntil([&] { return ProbeStart(name) != kNoTick; }, 10000);
    LONG elapsed = static_cast<LONG>(ProbeStart(name) - start);
    module.EndWithKeyPress(FindSaverWindow());
    return elapsed;
}

void Report(const char* what, const std::vector<LONG>& runs, const char* goal)
{
    std::vector<LONG> sorted = runs;
    std::sort(sorted.begin(), sorted.end());
    printf("  %-36s %4ld ms  (runs:", what, sorted[sorted.size() / 2]);
    for (LONG run : runs)
        printf(" %ld", run);
    printf(")%s\n", goal);
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = std::max(argc > 1 ? atoi(argv[1]) : 7, 1);
    CreateDirectoryA(kBenchLogFolder.c_str(), nullptr);
    ClearLogs();
    std::vector<LONG> process(runs), call(runs), probe(runs);
    for (int i = 0; i < runs; ++i) {
        process[i] = ProcessToLaunch(kBenchLogFolder + "\\process" + std::to_string(i));
        probe[i] = EraseToLaunch(kBenchLogFolder + "\\erase" + std::to_string(i), &call[i]);
    }
    printf("2. launch timing, medians of %d runs:\n", runs);
    Report("first erase -> first ShellExecuteA", call, "   goal: within 120 ms (timer 100 ms)");
    Report("first erase -> first probe start", probe, "");
    Report("process start -> first probe start", process, "");
    DeleteStoredSettings();
    return 0;
}
