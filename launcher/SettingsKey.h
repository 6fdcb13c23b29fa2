// SettingsKey: HKEY_CURRENT_USER\software\Quillmoor\Ferrowind, where the launch table is
// stored as 70 values, and the store operations over it.
#pragma once

#include <windows.h>

struct SettingsKey {
    HKEY softwareKey = nullptr;   // "software", opened, never created
    HKEY makerKey = nullptr;      // "Quillmoor"
    HKEY productKey = nullptr;    // "Ferrowind": holds the values
};

extern SettingsKey settingsKey;

// Opens the three levels, creating the maker and product keys when absent. True when
// productKey is open afterwards; levels that opened before a failure stay recorded.
bool OpenSettingsKey();
// Replaces the whole launch table with the stored values and the defaults.
void LoadLaunchTable();
// Writes all seven values of all ten entries.
void SaveLaunchTable();
void CloseSettingsKey();
// Deletes the product key with everything in it, then the maker key if nothing else is
// left in it; closes the three handles on the way.
void EraseSettings();

// Value name of one field of entry `entryNumber`, e.g. "Settings3File".
void FormatValueName(char* name, unsigned entryNumber, const char* fieldName);
