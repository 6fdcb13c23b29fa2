// Helpers shared by the test programs: running the built module, finding windows,
// waiting on conditions, and the settings in the test prefix's registry.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testing_support {

// Folder of the running test program; the module and the helper programs sit beside it.
std::string BinaryDirectory();
// Ferrowind.scr, or the copy named by FERROWIND_MODULE that Wine presents as another
// Windows version; FERROWIND_WIN9X=1 says it is one of the Windows 9x family.
std::string ModulePath();
bool ModuleIsWin9x();

// A process of the module started with a command tail.
class ModuleProcess {
public:
    ModuleProcess() = default;
    ModuleProcess(const ModuleProcess&) = delete;
    ModuleProcess& operator=(const ModuleProcess&) = delete;
    ~ModuleProcess();   // ends the process if it still runs

    // Starts `program` (default: the module) with `tail` behind its quoted path.
    bool Start(const std::string& tail, const std::string& program = ModulePath());
    // The exit code, or STILL_ACTIVE when it has not ended within `milliseconds`.
    DWORD WaitForExit(DWORD milliseconds);
    bool Running();
    // Ends a saver the ordinary way, with a key press to its window; returns the exit code.
    DWORD EndWithKeyPress(HWND saverWindow);
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_ = {};
};

// Polls `condition` every 10 ms until it holds or `milliseconds` have passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds);

// The full-screen saver window ("WindowsScreenSaverClass", "Screen Saver"), or none.
HWND FindSaverWindow();
HWND WaitForSaverWindow(DWORD milliseconds);
// Pumps this thread's messages for `milliseconds`.
void PumpMessages(DWORD milliseconds);

// HKEY_CURRENT_USER\software\Quillmoor\Ferrowind and its parent.
extern const char kMakerKeyPath[];
extern const char kProductKeyPath[];
void DeleteStoredSettings();   // removes the maker key with everything below it
void StoreText(const char* valueName, const std::string& text);
void StoreNumber(const char* valueName, DWORD value);
void StoreRaw(const char* valueName, DWORD type, const void* data, DWORD size);
bool KeyExists(const char* path);
unsigned ValueCount(const char* path);

}  // namespace testing_support
