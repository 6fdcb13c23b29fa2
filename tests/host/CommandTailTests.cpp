#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/Startup.h"
#include "tests/host/RandomTails.h"

namespace {

const struct {
    const char* commandLine;
    const char* expectedTail;
} kTailCases[] = {
    {"saver.scr /s", "/s"}, {"saver.scr\t/s", "/s"}, {"saver.scr \t  /p\t5", "/p\t5"}, {"saver.scr \x01\x02/c", "/c"},
    {"\"C:\\Program Files\\Ferrowind.scr\" /p 123", "/p 123"}, {"\"C:\\Program Files\\Ferrowind.scr\"/s", "/s"},
    {"\"C:\\unterminated /s", ""}, {"\"\" /s", "/s"}, {"saver.scr", ""}, {"", ""},
    {"\"C:\\\x83t\x83@\x83" "C\x83\x8b\\\x95\\.scr\" /s", "/s"},
    {"\"a\x82\" /s\" /p 5", "/p 5"},   // 0x82 0x22 is one character: its second byte closes nothing
    {"saver\x82 /s", ""},                // nor does 0x82 0x20 end the program name
    {"\"saver.scr\x82", ""},
};

TEST(FindCommandTail, PassesOverTheProgramNameAndBlanks)
{
    for (const auto& c : kTailCases)
        EXPECT_STREQ(c.expectedTail, FindCommandTail(c.commandLine)) << "command line: " << c.commandLine;
}

// Tails grouped by the mode and window number they must give; numbers wrap modulo 2^32.
const struct {
    SaverMode mode;
    UINT_PTR window;
    std::vector<const char*> tails;
} kModeCases[] = {
    {SaverMode::SettingsUnowned, 0, {"", "   -//-  "}},
    {SaverMode::FullScreen, 0, {"/s", "/S", "-s", "s", " /s", "//s", "- /s", "/sx"}},
    {SaverMode::Preview, 77, {"/p 77", "/p77", "/l   77", "/P 77", "/p 4294967373"}},
    {SaverMode::Preview, 0, {"/p:77", "/p", "/p\t77", "/p 4294967296", "/p \xb1" "1"}},
    {SaverMode::Preview, 42, {"/p42abc"}},
    {SaverMode::Preview, 4294967295u, {"/p 4294967295"}},
    {SaverMode::Preview, 1661992959, {"/p 99999999999999999999"}},   // 10^20 - 1 modulo 2^32
    {SaverMode::Settings, 77, {"/c:77", "/C:77"}},
    {SaverMode::Settings, 0, {"/c 77", "/c77", "/c: 77", "/c"}},
    {SaverMode::ChangePassword, 77, {"/a 77"}},
    {SaverMode::ChangePassword, 0, {"/a"}},
    {SaverMode::Invalid, 0, {"/x", "/1", "\t/s", "\x82\xa0", "/\x83s"}},
};

TEST(ReadModeRequest, FirstSwitchLetterAndItsNumber)
{
    for (const auto& c : kModeCases) {
        for (const char* tail : c.tails) {
            ModeRequest request = ReadModeRequest(tail);
            EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(request.mode)) << "tail: " << tail;
            EXPECT_EQ(c.window, reinterpret_cast<UINT_PTR>(request.window)) << "tail: " << tail;
        }
    }
}

TEST(CommandTailRobustness, RandomLinesStayInsideTheTextAndPickTheModeOfTheirFirstLetter)
{
    const std::string kSwitchLetters = "sSpPlLcCaA";
    const SaverMode kLetterModes[] = {SaverMode::FullScreen, SaverMode::Preview, SaverMode::Preview,
                                      SaverMode::Settings, SaverMode::ChangePassword};
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
        char first = tail[std::strspn(tail, " -/")];
        size_t letter = kSwitchLetters.find(first);
        SaverMode expected = !first ? SaverMode::SettingsUnowned
                             : letter != std::string::npos ? kLetterModes[letter / 2] : SaverMode::Invalid;
        ASSERT_TRUE(tail >= text && (!*tail || static_cast<BYTE>(*tail) > 0x20)) << "seed " << seed << ", case " << i;
        ASSERT_EQ(static_cast<int>(expected), static_cast<int>(ReadModeRequest(tail).mode))
            << "seed " << seed << ", case " << i;
    }
}

}  // namespace
