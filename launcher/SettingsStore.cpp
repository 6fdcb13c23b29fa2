#include <cstddef>
#include <cstring>

#include "launcher/LaunchTable.h"
#include "launcher/SettingsKey.h"

LaunchTable launchTable;
SettingsKey settingsKey;

namespace {

const char kSoftwareKeyName[] = "software";
const char kMakerKeyName[] = "Quillmoor";
const char kProductKeyName[] = "Ferrowind";

// The seven stored fields of an entry, in the order in which they are read and written.
struct StoredField {
    const char* name;
    size_t offset;
    bool isText;
    INT32 defaultValue;   // for the 32-bit fields; texts default to empty
};

const StoredField kStoredFields[] = {
    {"Verb", offsetof(LaunchEntry, Verb), true, 0},
    {"File", offsetof(LaunchEntry, File), true, 0},
    {"Parameters", offsetof(LaunchEntry, Parameters), true, 0},
    {"Directory", offsetof(LaunchEntry, Directory), true, 0},
    {"ShowCmd", offsetof(LaunchEntry, ShowCmd), false, SW_SHOWNORMAL},
    {"WaitActiveWindow", offsetof(LaunchEntry, WaitActiveWindow), false, 0},
    {"RemainActiveWindow", offsetof(LaunchEntry, RemainActiveWindow), false, 0},
};

BYTE* FieldOf(LaunchEntry& entry, const StoredField& field)
{
    return reinterpret_cast<BYTE*>(&entry) + field.offset;
}

// A field's text length: up to its terminating zero, all 260 bytes when it holds none. Counted
// here rather than by lstrlenA: the 64-bit module has no room for one import more.
DWORD TextLength(const BYTE* field)
{
    DWORD length = 0;
    while (length < kLaunchTextSize && field[length])
        ++length;
    return length;
}

// A text is taken only when the query succeeds and the field holds its terminating zero:
// a longer value, or one that fills all 260 bytes with no zero, does not fit and the field
// keeps its default. Whatever the platform left in the field after a failed query goes.
void LoadText(const char* name, BYTE* field)
{
    DWORD size = kLaunchTextSize;
    LONG read = RegQueryValueExA(settingsKey.productKey, name, nullptr, nullptr, field, &size);
    if (read != ERROR_SUCCESS || TextLength(field) == kLaunchTextSize)
        memset(field, 0, kLaunchTextSize);
}

// The bytes a value delivers are taken as they are; a value of more than four bytes does
// not fit and the default stays.
void LoadNumber(const char* name, BYTE* field, INT32 defaultValue)
{
    memcpy(field, &defaultValue, sizeof defaultValue);
    DWORD size = sizeof defaultValue;
    LONG read = RegQueryValueExA(settingsKey.productKey, name, nullptr, nullptr, field, &size);
    if (read != ERROR_SUCCESS)
        memcpy(field, &defaultValue, sizeof defaultValue);
}

void CloseKey(HKEY& key)
{
    RegCloseKey(key);
    key = nullptr;
}

LONG CreateSubkey(HKEY parent, const char* name, HKEY* key)
{
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key, nullptr);
}

// The key `name` under `parent` with all its subkeys and values, by the registry functions
// of every system: the NT family's RegDeleteKeyA deletes no key that still has subkeys.
bool DeleteKeyTree(HKEY parent, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    char subkey[MAX_PATH];
    DWORD index = 0;   // a subkey that cannot be deleted is passed over, not tried for ever
    while (RegEnumKeyA(key, index, subkey, sizeof subkey) == ERROR_SUCCESS)
        if (!DeleteKeyTree(key, subkey))
            ++index;
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

}  // namespace

void FormatValueName(char* name, unsigned entryNumber, const char* fieldName)
{
    wsprintfA(name, "Settings%u%s", entryNumber, fieldName);
}

bool OpenSettingsKey()
{
    settingsKey = SettingsKey();
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSoftwareKeyName, 0, KEY_ALL_ACCESS, &settingsKey.softwareKey) ==
            ERROR_SUCCESS &&
        CreateSubkey(settingsKey.softwareKey, kMakerKeyName, &settingsKey.makerKey) == ERROR_SUCCESS)
        CreateSubkey(settingsKey.makerKey, kProductKeyName, &settingsKey.productKey);
    return settingsKey.productKey != nullptr;
}

void LoadLaunchTable()
{
    memset(&launchTable, 0, sizeof launchTable);
    char name[64];
    for (unsigned n = 0; n < kLaunchEntryCount; ++n) {
        for (const StoredField& field : kStoredFields) {
            FormatValueName(name, n, field.name);
            if (field.isText)
                LoadText(name, FieldOf(launchTable.entries[n], field));
            else
                LoadNumber(name, FieldOf(launchTable.entries[n], field), field.defaultValue);
        }
    }
}

void SaveLaunchTable()
{
    char name[64];
    for (unsigned n = 0; n < kLaunchEntryCount; ++n) {
        for (const StoredField& field : kStoredFields) {
            FormatValueName(name, n, field.name);
            const BYTE* value = FieldOf(launchTable.entries[n], field);
            if (field.isText)
                RegSetValueExA(settingsKey.productKey, name, 0, REG_SZ, value, TextLength(value) + 1);
            else
                RegSetValueExA(settingsKey.productKey, name, 0, REG_DWORD, value, sizeof(INT32));
        }
    }
}

void CloseSettingsKey()
{
    CloseKey(settingsKey.softwareKey);
    CloseKey(settingsKey.makerKey);
    CloseKey(settingsKey.productKey);
}

void EraseSettings()
{
    CloseKey(settingsKey.productKey);
    DeleteKeyTree(settingsKey.makerKey, kProductKeyName);
    // The maker key goes only when it holds neither subkeys nor values: another program of
    // the maker may keep its settings there.
    DWORD subkeys = 0, values = 0;
    LONG counted = RegQueryInfoKeyA(settingsKey.makerKey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr);
    CloseKey(settingsKey.makerKey);
    if (counted == ERROR_SUCCESS && subkeys == 0 && values == 0)
        RegDeleteKeyA(settingsKey.softwareKey, kMakerKeyName);
    CloseKey(settingsKey.softwareKey);
}
