// The points at which the application plugs into the host: its procedure in the
// saver window's message chain, and its settings dialog.
#pragma once

#include <windows.h>

// Receives every saver-window message that SaverWindowProc does not finish itself and
// hands what it does not consume to DefaultSaverProc.
LRESULT CALLBACK LauncherSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Called before the settings dialog is shown; false shows nothing and ends with 0.
BOOL ConfigDialogHook(HINSTANCE instance);

// Dialog procedure of the settings dialog, template 2003.
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
