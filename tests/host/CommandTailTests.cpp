#include <gtest/gtest.h>

#include "host/Startup.h"

namespace {

struct TailCase {
    const char* commandLine;
    const char* expectedTail;
};

const TailCase kTailCases[] = {
    {"saver.scr /s", "/s"},
    {"\"C:\\Program Files\\Ferrowind.scr\" /p 123", "/p 123"},
    {"\"C:\\Program Files\\Ferrowind.scr\"/s", "/s"},
    {"\"C:\\unterminated /s", ""},
    {"saver.scr\t/s", "/s"},
    {"saver.scr \t  /p\t5", "/p\t5"},
    {"saver.scr", ""},
    {"", ""},
    {"saver.scr \x01\x02/c", "/c"},
    {"\"\" /s", "/s"},
};

TEST(FindCommandTail, PassesOverTheProgramNameAndBlanks)
{
    for (const TailCase& c : kTailCases)
        EXPECT_STREQ(c.expectedTail, FindCommandTail(c.commandLine)) << "command line: " << c.commandLine;
}

struct HandleCase {
    const char* text;
    UINT_PTR expected;
};

const HandleCase kHandleCases[] = {
    {"", 0},
    {"0", 0},
    {"12345", 12345},
    {"42abc", 42},
    {" 42", 0},
    {"4294967295", 4294967295u},
    {"4294967296", 0},
    {"4294967297", 1},
    {"99999999999999999999", 1661992959},   // 10^20 - 1 modulo 2^32
    {"\xb1" "1", 0},
};

TEST(ParseWindowHandle, ReadsDecimalDigitsModulo2To32)
{
    for (const HandleCase& c : kHandleCases)
        EXPECT_EQ(c.expected, reinterpret_cast<UINT_PTR>(ParseWindowHandle(c.text))) << "text: " << c.text;
}

struct ModeCase {
    const char* tail;
    SaverMode mode;
    UINT_PTR window;
};

const ModeCase kModeCases[] = {
    {"", SaverMode::SettingsUnowned, 0},
    {"   -//-  ", SaverMode::SettingsUnowned, 0},
    {"/s", SaverMode::FullScreen, 0},
    {"/S", SaverMode::FullScreen, 0},
    {"-s", SaverMode::FullScreen, 0},
    {"s", SaverMode::FullScreen, 0},
    {" /s", SaverMode::FullScreen, 0},
    {"//s", SaverMode::FullScreen, 0},
    {"- /s", SaverMode::FullScreen, 0},
    {"/sx", SaverMode::FullScreen, 0},
    {"/p 77", SaverMode::Preview, 77},
    {"/p77", SaverMode::Preview, 77},
    {"/l   77", SaverMode::Preview, 77},
    {"/P 77", SaverMode::Preview, 77},
    {"/p:77", SaverMode::Preview, 0},
    {"/p", SaverMode::Preview, 0},
    {"/p\t77", SaverMode::Preview, 0},
    {"/p 4294967373", SaverMode::Preview, 77},
    {"/c:77", SaverMode::Settings, 77},
    {"/C:77", SaverMode::Settings, 77},
    {"/c 77", SaverMode::Settings, 0},
    {"/c77", SaverMode::Settings, 0},
    {"/c: 77", SaverMode::Settings, 0},
    {"/c", SaverMode::Settings, 0},
    {"/a 77", SaverMode::ChangePassword, 77},
    {"/a", SaverMode::ChangePassword, 0},
    {"/x", SaverMode::Invalid, 0},
    {"/1", SaverMode::Invalid, 0},
    {"\t/s", SaverMode::Invalid, 0},
    {"\x82\xa0", SaverMode::Invalid, 0},
    {"/\x83s", SaverMode::Invalid, 0},
};

TEST(ReadModeRequest, FirstSwitchLetterAndItsNumber)
{
    for (const ModeCase& c : kModeCases) {
        ModeRequest request = ReadModeRequest(c.tail);
        EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(request.mode)) << "tail: " << c.tail;
        EXPECT_EQ(c.window, reinterpret_cast<UINT_PTR>(request.window)) << "tail: " << c.tail;
    }
}

}  // namespace
