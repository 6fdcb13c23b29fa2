// RunWatch: scripts/run.sh runs it in the Wine bed when there is no display. It starts the
// Ferrowind.scr beside it full screen and reports, as it happens, what a user would want to
// know: the window over the screen, each program launched, who holds the activation once the
// launch pass is over. It then asks for a line on standard input (the script takes its
// screenshot meanwhile), ends the saver with a key press and checks that the programs run on.
// Exit code 0 when every step went as it should; 1 when one failed, and its line says which.
// A tool, not part of the module: it may use the C runtime.
#include <windows.h>
#include <tlhelp32.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

const DWORD kPollInterval = 10;     // ms; Wine's write.exe lives only to start wordpad.exe
const DWORD kWindowLimit = 10000;   // for the saver window to appear
const DWORD kSettleTime = 500;      // every program ready and nothing changed this long
// Nothing changed this long: no further launch comes. The saver itself waits up to 20 s for
// a launched program to take the activation before it launches the next.
const DWORD kQuietLimit = 25000;
const DWORD kPassLimit = 90000;
const DWORD kExitLimit = 5000;      // for the saver to end after the key press
const DWORD kAfterExit = 500;       // then the programs must still run
const unsigned kMaxPrograms = 64;
const char* const kLaunchFields[] = {"Verb", "File"};

struct Program {
    DWORD id;
    DWORD parent;
    char name[MAX_PATH];
    HANDLE handle;   // opened when first seen, so that its end is noticed
    bool ready;      // shows a window and waits for input, or has ended
    bool ended;
};

Program programs[kMaxPrograms];
unsigned programCount;
PROCESS_INFORMATION saver;

// Each line goes out in one write as it happens: the script shows whole lines as they come.
__attribute__((format(gnu_printf, 1, 2))) void Say(const char* format, ...)
{
    char line[1024] = "run: ";
    const int prefix = 5, room = sizeof line - prefix - 1;   // and the newline
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(line + prefix, room, format, arguments);
    va_end(arguments);
    length = prefix + (length < 0 ? 0 : length < room ? length : room - 1);
    line[length++] = '\n';
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, DWORD(length), &written, nullptr);
}

__attribute__((format(gnu_printf, 2, 3))) int Fail(const char* step, const char* format, ...)
{
    char why[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(why, sizeof why, format, arguments);
    va_end(arguments);
    Say("failed at %s: %s", step, why);
    return 1;
}

Program* Find(DWORD id)
{
    for (unsigned i = 0; i < programCount; ++i)
        if (programs[i].id == id)
            return &programs[i];
    return nullptr;
}

const char* NameOf(DWORD id)
{
    if (id == saver.dwProcessId)
        return "Ferrowind.scr";
    Program* program = Find(id);
    return program ? program->name : "another process";
}

// Entries the saver will try: a verb and a file that fit their fields, as it reads them.
unsigned StoredPrograms()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "software\\Quillmoor\\Ferrowind", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    unsigned count = 0;
    for (unsigned n = 0; n < 10; ++n) {
        unsigned present = 0;
        for (const char* field : kLaunchFields) {
            char name[32], text[MAX_PATH] = "";
            DWORD size = sizeof text;
            snprintf(name, sizeof name, "Settings%u%s", n, field);
            if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
                text[0])
                ++present;
        }
        count += present == 2;
    }
    RegCloseKey(key);
    return count;
}

HWND WaitForSaverWindow()
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWindowLimit;) {
        HWND window = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
        DWORD owner = 0;
        if (window)
            GetWindowThreadProcessId(window, &owner);
        if (owner == saver.dwProcessId && IsWindowVisible(window))
            return window;
        if (WaitForSingleObject(saver.hProcess, kPollInterval) == WAIT_OBJECT_0)
            break;
    }
    return nullptr;
}

// Adds the processes started by the saver or by a program it started; true when any was new.
bool FollowNewPrograms()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool anyNew = false, added;
    do {   // again, for a child listed before its parent
        added = false;
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            // Wine names a process only once it has started: until then it is left for later.
            DWORD parent = entry.th32ParentProcessID;
            if (!entry.szExeFile[0] || Find(entry.th32ProcessID) || (parent != saver.dwProcessId && !Find(parent)) ||
                programCount == kMaxPrograms)
                continue;
            Program& program = programs[programCount++];
            program = {entry.th32ProcessID, parent, "", nullptr, false, false};
            lstrcpynA(program.name, entry.szExeFile, sizeof program.name);
            program.handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, program.id);
            if (parent == saver.dwProcessId) {
                unsigned launches = 0;
                for (unsigned i = 0; i < programCount; ++i)
                    launches += programs[i].parent == saver.dwProcessId;
                Say("launch %u: %s (pid %lu)", launches, program.name, program.id);
            } else {
                Say("%s (pid %lu) started %s (pid %lu)", NameOf(parent), parent, program.name, program.id);
            }
            added = anyNew = true;
        }
    } while (added);
    CloseHandle(snapshot);
    return anyNew;
}

struct WindowSearch {
    DWORD owner;
    bool found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM context)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    search->found = owner == search->owner && IsWindowVisible(window);
    return !search->found;
}

bool Ended(const Program& program)
{
    return !program.handle || WaitForSingleObject(program.handle, 0) == WAIT_OBJECT_0;
}

// Notes programs that ended or became ready; true when any did. Ready needs the window too:
// Wine answers WaitForInputIdle at once for a process that has not finished starting.
bool UpdateReadiness()
{
    bool changed = false;
    for (unsigned i = 0; i < programCount; ++i) {
        Program& program = programs[i];
        if (program.ended)
            continue;
        if (Ended(program)) {
            DWORD code;
            if (program.handle && GetExitCodeProcess(program.handle, &code))
                Say("%s (pid %lu) ended by itself (exit code %lu)", program.name, program.id, code);
            else
                Say("%s (pid %lu) ended by itself", program.name, program.id);
            program.ended = program.ready = changed = true;
            continue;
        }
        if (program.ready)
            continue;
        WindowSearch search = {program.id, false};
        EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && WaitForInputIdle(program.handle, 0) == 0)
            program.ready = changed = true;
    }
    return changed;
}

// The pass is over once every stored program has started, each is ready and nothing has
// changed (a new program, one ending or getting ready, the activation moving) for a while.
int FollowLaunchPass(unsigned stored)
{
    DWORD start = GetTickCount(), lastChange = start;
    HWND foreground = GetForegroundWindow();
    for (;;) {
        if (WaitForSingleObject(saver.hProcess, kPollInterval) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(saver.hProcess, &code);
            return Fail("the launch pass", "Ferrowind.scr ended (exit code %ld) before it was over", long(code));
        }
        DWORD now = GetTickCount();
        bool changed = FollowNewPrograms();
        changed = UpdateReadiness() || changed;
        if (GetForegroundWindow() != foreground) {
            foreground = GetForegroundWindow();
            changed = true;
        }
        if (changed)
            lastChange = now;
        unsigned launched = 0, ready = 0;
        for (unsigned i = 0; i < programCount; ++i) {
            launched += programs[i].parent == saver.dwProcessId;
            ready += programs[i].ready;
        }
        bool settled = launched >= stored && ready == programCount && now - lastChange >= kSettleTime;
        if (settled || now - lastChange >= kQuietLimit || now - start >= kPassLimit) {
            if (launched < stored)
                return Fail("the launch pass", "%u of the %u stored programs started", launched, stored);
            if (ready < programCount)
                Say("the launch pass was taken as over after %lu ms with %u of %u programs not ready",
                    now - start, programCount - ready, programCount);
            return 0;
        }
    }
}

int EndSaverAndCheckPrograms(HWND window)
{
    UpdateReadiness();
    bool running[kMaxPrograms];
    for (unsigned i = 0; i < programCount; ++i)
        running[i] = !programs[i].ended;

    // The example leaves WordPad active, so a key pressed on the keyboard would go to WordPad.
    // The saver gets the key press as it does when it holds the keyboard, as a WM_KEYDOWN to
    // its window (the tests end it so too). A mouse move would end it as well, but while the
    // full-screen window is up Wine confines the pointer and may give the saver the old
    // position back.
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 1 | MapVirtualKeyA(VK_SPACE, 0) << 16);
    Say("pressed Space on the saver window");
    if (WaitForSingleObject(saver.hProcess, kExitLimit) != WAIT_OBJECT_0) {
        TerminateProcess(saver.hProcess, 1);
        return Fail("ending the saver", "Ferrowind.scr still ran %lu ms after the key press", kExitLimit);
    }
    DWORD code = 0;
    GetExitCodeProcess(saver.hProcess, &code);
    Say("Ferrowind.scr ended with exit code %ld", long(code));
    if (code != 0)
        return Fail("ending the saver", "exit code %ld, not 0", long(code));

    Sleep(kAfterExit);
    char list[1024] = "";
    for (unsigned i = 0; i < programCount; ++i) {
        if (!running[i])
            continue;
        if (Ended(programs[i]))
            return Fail("the programs after the saver", "%s (pid %lu) ended with the saver", programs[i].name,
                        programs[i].id);
        size_t used = strlen(list);
        snprintf(list + used, sizeof list - used, "%s%s (pid %lu)", used ? ", " : "", programs[i].name,
                 programs[i].id);
    }
    if (list[0])
        Say("still running after the saver ended: %s", list);
    return 0;
}

}  // namespace

int main()
{
    // Wine starts its desktop process on a process's first use of the desktop window; here,
    // before the saver starts, so that it is not taken for a program the saver launched.
    GetDesktopWindow();

    unsigned stored = StoredPrograms();
    Say("the stored settings name %u program%s to start", stored, stored == 1 ? "" : "s");

    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    while (length && path[length - 1] != '\\')
        --length;
    lstrcpynA(path + length, "Ferrowind.scr", sizeof path - length);
    char commandLine[MAX_PATH + 8];
    snprintf(commandLine, sizeof commandLine, "\"%s\" /s", path);
    // No standard handles for the saver and what it launches: inheriting this program's pipes,
    // they would keep the script's reading end open after this program has ended.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &saver))
        return Fail("starting the saver", "CreateProcess(%s) failed with error %lu", path, GetLastError());
    Say("started Ferrowind.scr /s (pid %lu)", saver.dwProcessId);

    HWND window = WaitForSaverWindow();
    if (!window) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(saver.hProcess, &code);
        if (code != STILL_ACTIVE)
            return Fail("the saver window", "Ferrowind.scr ended (exit code %ld) before it showed one", long(code));
        return Fail("the saver window", "none within %lu ms", kWindowLimit);
    }
    LONG left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    RECT bounds, screen = {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    GetWindowRect(window, &bounds);
    if (!EqualRect(&bounds, &screen))
        return Fail("the saver window", "it is %ldx%ld at %ld,%ld, the screen %ldx%ld at %ld,%ld",
                    bounds.right - bounds.left, bounds.bottom - bounds.top, bounds.left, bounds.top,
                    screen.right - screen.left, screen.bottom - screen.top, screen.left, screen.top);
    Say("the saver window covers the screen: %ldx%ld at %ld,%ld", bounds.right - bounds.left,
        bounds.bottom - bounds.top, bounds.left, bounds.top);

    if (FollowLaunchPass(stored))
        return 1;
    HWND foreground = GetForegroundWindow();
    DWORD owner = 0;
    if (foreground)
        GetWindowThreadProcessId(foreground, &owner);
    if (owner)
        Say("the launch pass is over; the activation is with %s (pid %lu)", NameOf(owner), owner);
    else
        Say("the launch pass is over; no window holds the activation");

    Say("press Enter to end the saver");
    char c;
    DWORD got;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1 && c != '\n')
        continue;
    return EndSaverAndCheckPrograms(window);
}
