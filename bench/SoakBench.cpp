// A reliability run: a saver guards the screen for RUNS x 250 ms while another window takes
// the activation four times a second. Prints how often it took it back, whether it kept
// answering, and its object counts before and after (Wine reports none for other processes;
// they tell only on Windows).   SoakBench.exe [ROUNDS]   (default 240, a minute)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

struct ObjectCounts {
    DWORD handles, gdi, user;
};

ObjectCounts CountObjects(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    ObjectCounts counts = {0, GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS)};
    GetProcessHandleCount(process, &counts.handles);
    CloseHandle(process);
    return counts;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned rounds = argc > 1 ? strtoul(argv[1], nullptr, 10) : 240, takenBack = 0, answered = 0;
    DeleteStoredSettings();
    ModuleProcess saver;
    HWND saverWindow = saver.Start("/s") ? WaitForSaverWindow() : nullptr;
    if (!saverWindow)
        return 1;
    HWND thief = CreateWindowExA(0, "STATIC", "thief", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    PumpMessages(500);
    ObjectCounts before = CountObjects(saver.Id());
    for (unsigned round = 0; round < rounds; ++round) {
        DWORD start = GetTickCount();
        SetForegroundWindow(thief);
        takenBack += WaitUntil([&] { return GetForegroundWindow() == saverWindow; }, 240);
        DWORD_PTR answer;
        answered += SendMessageTimeoutA(saverWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer) != 0;
        PumpMessages(250 - (GetTickCount() - start) % 250);
    }
    ObjectCounts after = CountObjects(saver.Id());
    printf("6. soak, %u rounds of 250 ms against an activation thief: taken back %u, answered %u; handles %lu -> %lu,"
           " GDI %lu -> %lu, USER %lu -> %lu; exit code %lu\n", rounds, takenBack, answered, before.handles,
           after.handles, before.gdi, after.gdi, before.user, after.user, saver.EndWithKeyPress(saverWindow));
    return takenBack == rounds && answered == rounds ? 0 : 1;
}
