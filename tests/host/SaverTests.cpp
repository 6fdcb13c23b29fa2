// The built module's saver windows, run as the system runs a screen saver.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// Also run on winebed.sh's dualhead bed (800x600 left of the 1024x768 primary), whose layout it checks first.
TEST(FullScreenSaver, CoversTheVirtualScreenTopmostAndStaysTheOnlyOne)
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const RECT virtualScreen = {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (const RECT twoMonitors = {-800, 0, 1024, 768}; !lstrcmpA(std::getenv("FERROWIND_BED_LAYOUT"), "dualhead"))
        ASSERT_TRUE(GetSystemMetrics(SM_CMONITORS) == 2 && EqualRect(&twoMonitors, &virtualScreen)) << x << "," << y;
    // The one entry's program is left active, so the saver stops pulling itself forward and
    // only the second start can bring it back.
    StoreLaunch(0, "single", "", 0, 1);
    ModuleProcess first;
    HWND saver = first.StartSaver();
    ASSERT_TRUE(saver && WaitUntil([&] { return IsWindowVisible(saver); }, 5000));   // its creation is over
    RECT bounds;
    GetWindowRect(saver, &bounds);
    EXPECT_TRUE(EqualRect(&virtualScreen, &bounds)) << bounds.left << "," << bounds.top << " " << bounds.right;
    EXPECT_EQ(0x96000000, GetWindowLongA(saver, GWL_STYLE));
    EXPECT_EQ(WS_EX_TOPMOST, GetWindowLongA(saver, GWL_EXSTYLE));
    EXPECT_EQ(0, SendMessageA(saver, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Other")));
    EXPECT_EQ(saver, FindSaverWindow());   // by its class and its unchanged title

    ASSERT_TRUE(WaitUntil([] { return ProbeStarts().count("single"); }, 10000));
    HWND other = MakeWindow();
    SetForegroundWindow(other);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, 5000));
    ModuleProcess second;
    ASSERT_TRUE(second.Start("/s"));
    EXPECT_EQ(0u, second.WaitForExit(10000));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == saver; }, 5000));
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(0u, first.EndWithKeyPress(saver));
}

// The preview fills its parent's client area and never takes the foreground. In a parent of at
// least 640 x 480 it launches too, 100 ms after the last of a burst of erases; it ends with the
// parent.
TEST(PreviewSaver, FillsItsParentAndLaunchesOnlyInOneOfAtLeast640By480)
{
    const struct { int width, height; bool stored, launches; } kParents[] = {
        {639, 480, false, false}, {640, 479, true, false}, {640, 480, true, true}};
    for (const auto& c : kParents) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        ResetBed();
        if (c.stored)
            StoreLaunch(0, "v", "", 0, 0);
        // Hidden at first: nothing in it is erased before the test starts erasing.
        HWND parent = MakeWindow(WS_POPUP, c.width, c.height), preview = nullptr;
        ModuleProcess module;
        ASSERT_TRUE(module.Start("/p " + std::to_string(reinterpret_cast<UINT_PTR>(parent))));
        ASSERT_TRUE(WaitUntil([&] {
            return (preview = FindWindowExA(parent, nullptr, "WindowsScreenSaverClass", "Preview")) != nullptr;
        }, 10000));
        RECT outer, inner;
        GetClientRect(parent, &outer);
        GetWindowRect(preview, &inner);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&inner), 2);
        EXPECT_TRUE(EqualRect(&outer, &inner));
        ShowWindow(parent, SW_SHOW);
        SetForegroundWindow(parent);
        // Milliseconds of the system clock, as the probe logs its launch.
        auto clock = [] { ULARGE_INTEGER t; GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&t));
                          return DWORD(t.QuadPart / 10000); };
        DWORD last = clock(), pause = 0;
        for (DWORD start = last, now; (now = clock()) - start < 1300; last = now) {
            InvalidateRect(preview, nullptr, TRUE);
            pause = !pause && now - last >= 100 ? last : pause;
            PumpMessages(now - start < 500 ? 20 : 200);
        }
        EXPECT_EQ(c.stored, KeyExists(kMakerKeyPath)) << "a small preview opened the settings";
        if (!c.launches)
            EXPECT_EQ(parent, GetForegroundWindow());
        DestroyWindow(parent);
        EXPECT_EQ(0u, module.WaitForExit(10000));
        ASSERT_TRUE(WaitUntil([] { return !ProbeRuns(); }, 10000));
        auto starts = ProbeStarts()["v"];
        EXPECT_EQ(c.launches ? 1u : 0u, starts.size());
        for (const ProbeStart& start : starts)
            EXPECT_GE(static_cast<LONG>(start.launched - pause), 100) << "launched while the erases went on";
    }
}

// By its bare name a DLL comes from beside the program first unless it is a known DLL (COMCTL32 is
// none on the NT family). Stand-ins of COMCTL32 and SHELL32 lie beside the module's rebased copy, Wine
// searching as Windows does: the dialog and the saver with a launch run at its base, loading neither.
TEST(ARebasedCopy, RunsAtItsBaseAndLoadsNoDllBesideIt)
{
    const std::string folder = BinaryDirectory() + "\\sideload", name = ModulePath().substr(ModulePath().rfind('\\'));
    const std::string overrides = "Software\\Wine\\AppDefaults" + name + "\\DllOverrides";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((BinaryDirectory() + "\\FerrowindRebased.scr").c_str(), (folder + name).c_str(), FALSE));
    for (std::string dll : {"COMCTL32", "SHELL32"}) {
        ASSERT_TRUE(CopyFileA((BinaryDirectory() + "\\MPR.DLL").c_str(), (folder + "\\" + dll + ".DLL").c_str(), FALSE));
        SHSetValueA(HKEY_CURRENT_USER, overrides.c_str(), dll.c_str(), REG_SZ, "native,builtin", 15);
    }
    StoreLaunch(0, "sideload", "", 0, 0);
    ModuleProcess dialog, saver;
    ASSERT_TRUE(dialog.Start("/c", folder + name));
    HWND settings = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (settings = FindWindowW(L"#32770", L"設定")) != nullptr; }, 10000));
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(DWORD(IDCANCEL), dialog.WaitForExit(10000));
    HWND window = saver.StartSaver(folder + name);
    EXPECT_TRUE(window && WaitUntil([] { return ProbeStarts().count("sideload") != 0; }, 10000));
    EXPECT_EQ(FERROWIND_REBASED_BASE, GetWindowLongPtrA(window, GWLP_HINSTANCE));
    EXPECT_EQ(0u, saver.EndWithKeyPress(window));
    EXPECT_EQ(0u, Get("COMCTL32.DLL") + Get("SHELL32.DLL")) << "a stand-in was loaded";
    for (const char* dll : {"COMCTL32", "SHELL32"})
        SHDeleteValueA(HKEY_CURRENT_USER, overrides.c_str(), dll);
}

#ifndef _WIN64
// The NT family's RtlUnwind returns from a context captured with EBX, ESI and EDI cleared;
// Wine's keeps them. The import of it in the module running at `base` is bound to a stub that
// calls Wine's and clears the three before it returns, as Windows does.
void BindNtRtlUnwind(HANDLE process, BYTE* base)
{
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    ASSERT_TRUE(ReadProcessMemory(process, base, &dos, sizeof dos, nullptr) &&
                ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof nt, nullptr));
    const IMAGE_DATA_DIRECTORY& table = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    std::vector<DWORD> slots(table.Size / 4);
    ASSERT_TRUE(ReadProcessMemory(process, base + table.VirtualAddress, slots.data(), table.Size, nullptr));
    // The system's modules lie at the same address in every process.
    DWORD wine = reinterpret_cast<DWORD>(GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "RtlUnwind"));
    DWORD slot = table.VirtualAddress + 4 * (std::find(slots.begin(), slots.end(), wine) - slots.begin());
    ASSERT_LT(slot, table.VirtualAddress + table.Size);
    const std::string push = "\xFF\x74\x24\x10", address(reinterpret_cast<char*>(&wine), 4);
    // Push the four arguments again, call Wine's, clear EBX, ESI and EDI, and return popping 16 bytes.
    const std::string stub = push + push + push + push + "\xB8" + address +
                             std::string("\xFF\xD0\x31\xDB\x31\xF6\x31\xFF\xC2\x10\x00", 11);
    void* copy = VirtualAllocEx(process, nullptr, stub.size(), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    DWORD protection;
    ASSERT_TRUE(copy && WriteProcessMemory(process, copy, stub.data(), stub.size(), nullptr) &&
                VirtualProtectEx(process, base + slot, 4, PAGE_READWRITE, &protection) &&
                WriteProcessMemory(process, base + slot, &copy, 4, nullptr));
}
#endif

// From outside, the saver's thread is made to call an address where nothing is mapped, as
// though its own code had: the fault guard must end the process with -1. The window settles
// first: a fault in a message the system delivers through a callback (as the first messages of
// a new window come) is the platform's own to swallow on x86-64, as 64-bit Windows does.
TEST(FaultGuard, AFaultInjectedIntoTheRunningSaverEndsItWithMinusOne)
{
    ModuleProcess module;
    HWND saver = module.StartSaver();
    ASSERT_TRUE(saver && WaitUntil([&] { return GetForegroundWindow() == saver; }, 5000));
    PumpMessages(500);
    HANDLE thread = OpenThread(THREAD_ALL_ACCESS, FALSE, GetWindowThreadProcessId(saver, nullptr));
    HANDLE process = OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION, FALSE, module.Id());
    ASSERT_NE(DWORD(-1), SuspendThread(thread));
#ifndef _WIN64
    ASSERT_NO_FATAL_FAILURE(BindNtRtlUnwind(process, reinterpret_cast<BYTE*>(GetWindowLongPtrA(saver, GWLP_HINSTANCE))));
#endif
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    ASSERT_TRUE(GetThreadContext(thread, &context));
#ifdef _WIN64
    DWORD64 &ip = context.Rip, &sp = context.Rsp;
#else
    DWORD &ip = context.Eip, &sp = context.Esp;
#endif
    sp -= sizeof ip;   // the return address of the call
    ASSERT_TRUE(WriteProcessMemory(process, reinterpret_cast<void*>(sp), &ip, sizeof ip, nullptr));
    ip = 0xFA17;
    ASSERT_TRUE(SetThreadContext(thread, &context));
    ResumeThread(thread);
    PostMessageA(saver, WM_NULL, 0, 0);
    EXPECT_EQ(0xFFFFFFFF, module.WaitForExit(10000));
    CloseHandle(process);
    CloseHandle(thread);
}

}  // namespace
