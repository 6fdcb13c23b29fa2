// Resource and control ids, shared by Ferrowind.rc and the code.
#pragma once

#define IDD_CONFIG_DIALOG 2003
#define IDS_SAVER_NAME 1

#define IDC_ENTRY_LIST 1001
#define IDC_VERB_EDIT 1002
#define IDC_FILE_EDIT 1003
#define IDC_PARAMETERS_EDIT 1004
#define IDC_DIRECTORY_EDIT 1005
#define IDC_WAIT_ACTIVE_WINDOW_CHECK 1006
#define IDC_REMAIN_ACTIVE_WINDOW_CHECK 1007
#define IDC_ERASE_BUTTON 1008
