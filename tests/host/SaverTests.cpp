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
// searching as Windows does (scripts/prefix-settings.reg): the dialog and the saver run at its base,
// loading neither. The saver takes the SHELL32 stand-in of the system folder, whose launch for the verb
// "prompt" runs a modal loop on its thread, as the shell's prompt for a downloaded file does. The mouse
// moves meanwhile: the saver ends inside that launch, with 0, and no later entry may start.
TEST(ARebasedCopy, RunsAtItsBaseOnSystemDllsAloneAndLaunchesNothingOnceEndedInALaunch)
{
    const std::string folder = BinaryDirectory() + "\\sideload\\", name = PathFindFileNameA(ModulePath().c_str());
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((BinaryDirectory() + "\\FerrowindRebased.scr").c_str(), (folder + name).c_str(), FALSE) &&
                MoveFileExA(kSystemShell.c_str(), (kSystemShell + ".wine").c_str(), 0));
    for (std::string dll : {folder + "COMCTL32.DLL", folder + "SHELL32.DLL", kSystemShell})
        ASSERT_TRUE(CopyFileA((BinaryDirectory() + "\\MPR.DLL").c_str(), dll.c_str(), FALSE));
    for (unsigned n = 0; n < 3; ++n)
        StoreLaunch(n, "entry" + std::to_string(n), "", 0, 0);
    StoreText("Settings1Verb", "prompt");
    ModuleProcess dialog, saver;
    ASSERT_TRUE(dialog.Start("/c", folder + name));
    HWND settings = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (settings = FindWindowW(L"#32770", L"設定")) != nullptr; }, 10000));
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(DWORD(IDCANCEL), dialog.WaitForExit(10000));
    HWND window = saver.StartSaver(folder + name);
    ASSERT_TRUE(window && WaitUntil([] { return Get("prompt") != 0; }, 10000));
    EXPECT_EQ(FERROWIND_REBASED_BASE, GetWindowLongPtrA(window, GWLP_HINSTANCE));
    POINT at;
    GetCursorPos(&at) && SetCursorPos(at.x ^ 64, at.y);
    EXPECT_EQ(0u, saver.WaitForExit(10000));
    EXPECT_EQ(0u, Get((folder + "COMCTL32.DLL").c_str()) + Get((folder + "SHELL32.DLL").c_str())) << "loaded from beside it";
    EXPECT_TRUE(WaitUntil([] { return !ProbeRuns(); }, 10000));
    auto starts = ProbeStarts();
    EXPECT_TRUE(starts.count("entry0") && !starts.count("entry2")) << "entry 2 started after the saver ended";
}

// The import slot of the module at `base` in `process` that holds `function` (the system's
// modules lie at the same address in every process) is bound to `target`.
void BindImport(HANDLE process, BYTE* base, FARPROC function, ULONG_PTR target)
{
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    ASSERT_TRUE(ReadProcessMemory(process, base, &dos, sizeof dos, nullptr) &&
                ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof nt, nullptr));
    const IMAGE_DATA_DIRECTORY& table = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    std::vector<ULONG_PTR> slots(table.Size / sizeof target);
    ASSERT_TRUE(ReadProcessMemory(process, base + table.VirtualAddress, slots.data(), table.Size, nullptr));
    size_t index = std::find(slots.begin(), slots.end(), reinterpret_cast<ULONG_PTR>(function)) - slots.begin();
    ASSERT_LT(index, slots.size());
    BYTE* slot = base + table.VirtualAddress + index * sizeof target;
    DWORD protection;
    ASSERT_TRUE(VirtualProtectEx(process, slot, sizeof target, PAGE_READWRITE, &protection) &&
                WriteProcessMemory(process, slot, &target, sizeof target, nullptr));
}

#ifdef _WIN64
const char kUnwinder[] = "RtlUnwindEx";
ULONG_PTR UnwinderAsOnWindows(HANDLE, FARPROC wine) { return reinterpret_cast<ULONG_PTR>(wine); }
#else
const char kUnwinder[] = "RtlUnwind";

// The NT family's RtlUnwind returns from a context captured with EBX, ESI and EDI cleared;
// Wine's keeps them. A stub in `process` that calls Wine's and clears the three before it
// returns, as Windows does.
ULONG_PTR UnwinderAsOnWindows(HANDLE process, FARPROC wine)
{
    const std::string push = "\xFF\x74\x24\x10", address(reinterpret_cast<char*>(&wine), 4);
    // Push the four arguments again, call Wine's, clear EBX, ESI and EDI, and return popping 16 bytes.
    const std::string stub = push + push + push + push + "\xB8" + address +
                             std::string("\xFF\xD0\x31\xDB\x31\xF6\x31\xFF\xC2\x10\x00", 11);
    void* copy = VirtualAllocEx(process, nullptr, stub.size(), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    WriteProcessMemory(process, copy, stub.data(), stub.size(), nullptr);
    return reinterpret_cast<ULONG_PTR>(copy);
}
#endif

// Starts the module as its debugger. At the loader's first breakpoint (the imports bound, none of
// the module's code run yet) USER32's `function` is bound to an address where nothing is mapped,
// and the unwinding function to the same or, where the module may unwind, to Windows' behaviour.
// Then the module runs on undebugged.
void StartWithFaultingImport(ModuleProcess& module, const std::string& tail, const char* function, bool mayUnwind)
{
    ASSERT_TRUE(module.Start(tail, ModulePath(), DEBUG_ONLY_THIS_PROCESS));
    DEBUG_EVENT event = {};
    BYTE* base = nullptr;
    for (; WaitForDebugEvent(&event, 10000) && event.dwDebugEventCode != EXCEPTION_DEBUG_EVENT;
         ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE)) {
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            base = static_cast<BYTE*>(event.u.CreateProcessInfo.lpBaseOfImage);
            CloseHandle(event.u.CreateProcessInfo.hFile);
        }
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT)
            CloseHandle(event.u.LoadDll.hFile);
    }
    ASSERT_EQ(DWORD(EXCEPTION_BREAKPOINT), event.u.Exception.ExceptionRecord.ExceptionCode);
    FARPROC unwinder = GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), kUnwinder);
    BindImport(module.Handle(), base, GetProcAddress(GetModuleHandleA("USER32.DLL"), function), 0xFA17);
    BindImport(module.Handle(), base, unwinder, mayUnwind ? UnwinderAsOnWindows(module.Handle(), unwinder) : 0xFA17);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    ASSERT_TRUE(DebugActiveProcessStop(module.Id()));
}

// A fault ends the module with -1. In the message loop, it meets the guard around the mode, which
// unwinds to it. The others are in procedures the system calls back into: the preview's, for a
// message another process sends, and the dialog's as it is built. Windows lets no handler beyond
// its call-back have these (64-bit Windows ends the process with a code of its own; a 32-bit
// program there runs on, its procedure left halfway), Wine does: so there the module may not unwind.
TEST(FaultGuard, AFaultInTheModuleEndsItWithMinusOne)
{
    HWND parent = MakeWindow(), preview = nullptr;
    const struct { std::string tail; const char* function; UINT sent; bool mayUnwind; } kFaults[] = {
        {"/s", "GetMessageA", 0, true},
        {"/p " + std::to_string(reinterpret_cast<UINT_PTR>(parent)), "GetParent", WM_CONTEXTMENU, false},
        {"/c", "CheckDlgButton", 0, false}};
    for (const auto& c : kFaults) {
        SCOPED_TRACE(c.tail);
        ModuleProcess module;
        ASSERT_NO_FATAL_FAILURE(StartWithFaultingImport(module, c.tail, c.function, c.mayUnwind));
        if (c.sent && WaitUntil([&] { return (preview = FindWindowExA(parent, nullptr, nullptr, nullptr)); }, 10000))
            SendMessageTimeoutA(preview, c.sent, 0, 0, SMTO_NORMAL, 1000, nullptr);
        EXPECT_EQ(0xFFFFFFFF, module.WaitForExit(10000));
    }
    DestroyWindow(parent);
}

}  // namespace
