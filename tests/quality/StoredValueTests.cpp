#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/LaunchTable.h"
#include "launcher/SettingsKey.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY};
const DWORD kSizes[] = {0, 1, 3, 4, 5, 259, 260, 261, 4096};
const char* const kTextFields[] = {"Verb", "File", "Parameters", "Directory"};
const char* const kNumberFields[] = {"ShowCmd", "WaitActiveWindow", "RemainActiveWindow"};
const INT32 kNumberDefaults[] = {1, 0, 0};

// Wine hands a string value back with a terminating zero added where the stored bytes lack one.
DWORD DeliveredSize(DWORD type, DWORD size)
{
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    return text && size ? size + 1 : size;
}

const LaunchEntry& LoadWith(const char* field, DWORD type, DWORD size)
{
    DeleteStoredSettings();
    std::string bytes(size, 'x');
    char name[64];
    FormatValueName(name, 4, field);
    StoreRaw(name, type, bytes.data(), size);
    EXPECT_TRUE(OpenSettingsKey());
    LoadLaunchTable();
    CloseSettingsKey();
    for (const LaunchEntry& entry : launchTable.entries)
        for (const char* text : {entry.Verb, entry.File, entry.Parameters, entry.Directory})
            EXPECT_NE(nullptr, memchr(text, 0, kLaunchTextSize)) << "an unterminated field";
    return launchTable.entries[4];
}

TEST(StoredValues, TextFieldsTakeWhatFitsWithItsZeroAndNothingElse)
{
    for (unsigned f = 0; f < 4; ++f)
        for (DWORD type : kTypes)
            for (DWORD size : kSizes) {
                const LaunchEntry& entry = LoadWith(kTextFields[f], type, size);
                const char* texts[] = {entry.Verb, entry.File, entry.Parameters, entry.Directory};
                size_t expected = DeliveredSize(type, size) <= kLaunchTextSize && size < kLaunchTextSize ? size : 0;
                EXPECT_EQ(expected, strlen(texts[f])) << kTextFields[f] << " type " << type << " size " << size;
            }
}

TEST(StoredValues, NumberFieldsTakeUpToFourDeliveredBytes)
{
    for (unsigned f = 0; f < 3; ++f)
        for (DWORD type : kTypes)
            for (DWORD size : kSizes) {
                const LaunchEntry& entry = LoadWith(kNumberFields[f], type, size);
                const INT32 numbers[] = {entry.ShowCmd, entry.WaitActiveWindow, entry.RemainActiveWindow};
                INT32 expected = kNumberDefaults[f];
                DWORD delivered = DeliveredSize(type, size);
                if (delivered <= 4)
                    memcpy(&expected, std::string(size, 'x').append(1, '\0').data(), delivered);
                EXPECT_EQ(expected, numbers[f]) << kNumberFields[f] << " type " << type << " size " << size;
            }
}

}  // namespace
