#include "launcher/ConfigDialog.h"

#include <cstddef>

#include "host/ApplicationHooks.h"
#include "launcher/ConfigDialogState.h"
#include "launcher/LaunchTable.h"
#include "launcher/SettingsKey.h"
#include "resources/ResourceIds.h"

ConfigDialogState configDialogState;

namespace {

// Code page 932: "設定の読み込みに失敗しました。" (loading the settings failed)
const char kLoadFailedText[] =
    "\x90\xdd\x92\xe8\x82\xcc\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd"
    "\x81\x42";
// Code page 932: "エラー" (error)
const char kLoadFailedCaption[] = "\x83\x47\x83\x89\x81\x5b";

// Results with which the dialog ends.
const INT_PTR kResultLoadFailed = 0;
const INT_PTR kResultSaved = IDOK;
const INT_PTR kResultDropped = IDCANCEL;
const INT_PTR kResultErased = IDC_ERASE_BUTTON;

struct TextControl {
    int id;
    size_t offset;
};

const TextControl kTextControls[] = {
    {IDC_VERB_EDIT, offsetof(LaunchEntry, Verb)},
    {IDC_FILE_EDIT, offsetof(LaunchEntry, File)},
    {IDC_PARAMETERS_EDIT, offsetof(LaunchEntry, Parameters)},
    {IDC_DIRECTORY_EDIT, offsetof(LaunchEntry, Directory)},
};

char* TextOf(LaunchEntry& entry, const TextControl& control)
{
    return reinterpret_cast<char*>(&entry) + control.offset;
}

void ShowEntry(HWND dialog, unsigned index)
{
    LaunchEntry& entry = launchTable.entries[index];
    for (const TextControl& control : kTextControls)
        SetDlgItemTextA(dialog, control.id, TextOf(entry, control));
    CheckDlgButton(dialog, IDC_WAIT_ACTIVE_WINDOW_CHECK, entry.WaitActiveWindow ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_REMAIN_ACTIVE_WINDOW_CHECK, entry.RemainActiveWindow ? BST_CHECKED : BST_UNCHECKED);
}

void StoreEntry(HWND dialog, unsigned index)
{
    LaunchEntry& entry = launchTable.entries[index];
    for (const TextControl& control : kTextControls) {
        char* text = TextOf(entry, control);
        GetDlgItemTextA(dialog, control.id, text, kLaunchTextSize);
        TrimToCharacterBoundary(text, kStoredTextLimit);
    }
    entry.WaitActiveWindow = IsDlgButtonChecked(dialog, IDC_WAIT_ACTIVE_WINDOW_CHECK) == BST_CHECKED ? 1 : 0;
    entry.RemainActiveWindow = IsDlgButtonChecked(dialog, IDC_REMAIN_ACTIVE_WINDOW_CHECK) == BST_CHECKED ? 1 : 0;
}

// The list's selection; the entry on show should the list ever report none.
unsigned SelectedEntry(HWND dialog)
{
    LRESULT selection = SendDlgItemMessageA(dialog, IDC_ENTRY_LIST, LB_GETCURSEL, 0, 0);
    if (selection < 0 || selection >= static_cast<LRESULT>(kLaunchEntryCount))
        return configDialogState.shownEntry;
    return static_cast<unsigned>(selection);
}

void FillEntryList(HWND dialog)
{
    char item[16];
    for (unsigned n = 1; n <= kLaunchEntryCount; ++n) {
        wsprintfA(item, "%u", n);
        SendDlgItemMessageA(dialog, IDC_ENTRY_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
}

// --- the message handlers -------------------------------------------------------------

INT_PTR OnInitDialog(HWND dialog)
{
    if (!OpenSettingsKey()) {
        MessageBoxA(dialog, kLoadFailedText, kLoadFailedCaption, MB_OK);
        EndDialog(dialog, kResultLoadFailed);
        return FALSE;
    }
    LoadLaunchTable();
    FillEntryList(dialog);
    configDialogState.shownEntry = 0;
    ShowEntry(dialog, 0);
    SendDlgItemMessageA(dialog, IDC_ENTRY_LIST, LB_SETCURSEL, 0, 0);
    return TRUE;
}

INT_PTR OnOk(HWND dialog)
{
    StoreEntry(dialog, SelectedEntry(dialog));
    SaveLaunchTable();
    CloseSettingsKey();
    EndDialog(dialog, kResultSaved);
    return TRUE;
}

INT_PTR OnCancel(HWND dialog)
{
    CloseSettingsKey();
    EndDialog(dialog, kResultDropped);
    return TRUE;
}

INT_PTR OnSelectionChange(HWND dialog)
{
    StoreEntry(dialog, configDialogState.shownEntry);
    unsigned selected = SelectedEntry(dialog);
    ShowEntry(dialog, selected);
    configDialogState.shownEntry = selected;
    return TRUE;
}

INT_PTR OnErase(HWND dialog)
{
    EraseSettings();
    EndDialog(dialog, kResultErased);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
        return OnOk(dialog);
    case IDCANCEL:
        return OnCancel(dialog);
    case IDC_ENTRY_LIST:
        return HIWORD(wParam) == LBN_SELCHANGE ? OnSelectionChange(dialog) : FALSE;
    case IDC_ERASE_BUTTON:
        return OnErase(dialog);
    default:
        return FALSE;
    }
}

}  // namespace

void TrimToCharacterBoundary(char* text, unsigned limit)
{
    unsigned end = 0;
    while (text[end]) {
        unsigned length = IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1;
        if (length == 2 && !text[end + 1])
            break;
        if (end + length > limit)
            break;
        end += length;
    }
    text[end] = '\0';
}

BOOL ConfigDialogHook(HINSTANCE)
{
    return TRUE;
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    default:
        return FALSE;
    }
}
