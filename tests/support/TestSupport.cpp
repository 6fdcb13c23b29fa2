#include "tests/support/TestSupport.h"

#include <shlwapi.h>

namespace testing_support {

const char kMakerKeyPath[] = "software\\Quillmoor";
const char kProductKeyPath[] = "software\\Quillmoor\\Ferrowind";

std::string BinaryDirectory()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string ModulePath()
{
    const char* variant = getenv("FERROWIND_MODULE");
    return BinaryDirectory() + "\\" + (variant ? variant : "Ferrowind.scr");
}

bool ModuleIsWin9x()
{
    const char* win9x = getenv("FERROWIND_WIN9X");
    return win9x && win9x[0] == '1';
}

ModuleProcess::~ModuleProcess()
{
    if (!info_.hProcess)
        return;
    if (Running())
        TerminateProcess(info_.hProcess, 0xDEAD);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

bool ModuleProcess::Start(const std::string& tail, const std::string& program)
{
    std::string commandLine = "\"" + program + "\"";
    if (!tail.empty())
        commandLine += " " + tail;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info_) != 0;
}

DWORD ModuleProcess::WaitForExit(DWORD milliseconds)
{
    if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

DWORD ModuleProcess::EndWithKeyPress(HWND saverWindow)
{
    PostMessageA(saverWindow, WM_KEYDOWN, VK_SPACE, 0);
    return WaitForExit(5000);
}

bool ModuleProcess::Running()
{
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= milliseconds)
            return false;
        PumpMessages(10);
    }
}

HWND FindSaverWindow()
{
    return FindWindowA("WindowsScreenSaverClass", "Screen Saver");
}

HWND WaitForSaverWindow(DWORD milliseconds)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindSaverWindow()) != nullptr; }, milliseconds);
    return found;
}

void PumpMessages(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

void DeleteStoredSettings()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, kMakerKeyPath);
}

void StoreRaw(const char* valueName, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kProductKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void StoreText(const char* valueName, const std::string& text)
{
    StoreRaw(valueName, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void StoreNumber(const char* valueName, DWORD value)
{
    StoreRaw(valueName, REG_DWORD, &value, sizeof value);
}

bool KeyExists(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

unsigned ValueCount(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return values;
}

}  // namespace testing_support
