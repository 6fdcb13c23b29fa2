#include <gtest/gtest.h>

#include <cstring>

#include "host/Startup.h"
#include "tests/host/RandomTails.h"

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
    {"\"C:\\\x83t\x83@\x83" "C\x83\x8b\\\x95\\.scr\" /s", "/s"},
    {"\"a\x82\" /s\" /p 5", "/p 5"},   // 0x82 0x22 is one character: its second byte closes nothing
    {"saver\x82 /s", ""},                // nor does 0x82 0x20 end the program name
    {"\"saver.scr\x82", ""},
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

const char kSwitchLetters[] = "sSpPlLcCaA";
const SaverMode kLetterModes[] = {SaverMode::FullScreen, SaverMode::Preview, SaverMode::Preview, SaverMode::Settings,
                                  SaverMode::ChangePassword};

TEST(CommandTailRobustness, RandomLinesStayInsideTheTextAndPickTheModeOfTheirFirstLetter)
{
    const unsigned seed = 1975;
    std::mt19937 random(seed);
    // Each line ends on the last byte before an inaccessible page: a read past its end faults.
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 0x20000, MEM_COMMIT, PAGE_READWRITE));
    DWORD previous;
    ASSERT_TRUE(VirtualProtect(pages + 0x10000, 0x10000, PAGE_NOACCESS, &previous));
    for (int i = 0; i < 5000; ++i) {
        std::string line = RandomTail(random) + RandomTail(random);
        char* text = std::strcpy(pages + 0x10000 - line.size() - 1, line.c_str());
        const char* tail = FindCommandTail(text);
        const char* first = tail + std::strspn(tail, " -/");
        const char* letter = *first ? std::strchr(kSwitchLetters, *first) : nullptr;
        SaverMode expected = !*first ? SaverMode::SettingsUnowned
                             : letter ? kLetterModes[(letter - kSwitchLetters) / 2] : SaverMode::Invalid;
        ASSERT_TRUE(tail >= text && tail <= text + line.size() && (!*tail || static_cast<BYTE>(*tail) > 0x20))
            << "seed " << seed << ", case " << i;
        ASSERT_EQ(static_cast<int>(expected), static_cast<int>(ReadModeRequest(tail).mode))
            << "seed " << seed << ", case " << i;
    }
}

}  // namespace
