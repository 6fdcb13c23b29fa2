// Measures a saver program against the bare baseline under the same Wine:
//   start    process start -> its window covers the screen and has the foreground
//   input    a key press -> the process has ended
// Usage: SaverBench.exe RUNS SAVER BARE     (paths of Ferrowind.scr and BareSaver.exe)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool CoversScreenInForeground(DWORD processId)
{
    HWND foreground = GetForegroundWindow();
    DWORD owner = 0;
    GetWindowThreadProcessId(foreground, &owner);
    RECT rect;
    return owner == processId && GetWindowRect(foreground, &rect) && rect.right - rect.left >= GetSystemMetrics(SM_CXVIRTUALSCREEN) &&
           rect.bottom - rect.top >= GetSystemMetrics(SM_CYVIRTUALSCREEN);
}

void PressKey()
{
    INPUT key[2] = {};
    key[0].type = key[1].type = INPUT_KEYBOARD;
    key[0].ki.wVk = key[1].ki.wVk = VK_SPACE;
    key[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, key, sizeof key[0]);
}

struct Figures {
    std::vector<double> start, input;
};

// One run: start, wait until it covers the screen in the foreground, press a key and wait
// for the end.
void Run(const std::string& program, const std::string& tail, Figures& figures)
{
    double started = Now();
    ModuleProcess process;
    process.Start(tail, program);
    while (!CoversScreenInForeground(process.Id()) && Now() - started < 10000)
        Sleep(1);
    figures.start.push_back(Now() - started);
    Sleep(300);
    double pressed = Now();
    PressKey();
    process.WaitForExit(10000);
    figures.input.push_back(Now() - pressed);
    Sleep(200);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    int runs = atoi(argv[1]);
    DeleteStoredSettings();   // no entries: the saver guards at once
    Figures saver, bare, warmUp;
    Run(argv[2], "/s", warmUp);   // the first start of each pays for the disk cache
    Run(argv[3], "", warmUp);
    // Interleaved, each first in turn.
    for (int i = 0; i < runs; ++i) {
        if (i % 2)
            Run(argv[3], "", bare);
        Run(argv[2], "/s", saver);
        if (!(i % 2))
            Run(argv[3], "", bare);
    }

    // The ratio is the median of each pair's ratio: a pair ran side by side, so a slow stretch
    // of the machine weighs on both of its runs.
    auto pairRatio = [&](const std::vector<double>& saverRuns, const std::vector<double>& bareRuns) {
        std::vector<double> ratios;
        for (size_t i = 0; i < saverRuns.size(); ++i)
            ratios.push_back(saverRuns[i] / bareRuns[i]);
        return Median(ratios);
    };
    printf("1. start -> covering, foreground: %.1f ms vs bare %.1f ms = %.2fx (goal <= 1.10x)\n",
           Median(saver.start), Median(bare.start), pairRatio(saver.start, bare.start));
    printf("4. key press -> exit: %.1f ms vs bare %.1f ms = %.2fx (goal <= 1.10x)\n", Median(saver.input),
           Median(bare.input), pairRatio(saver.input, bare.input));
    return 0;
}
