// Random command tails for the robustness runs: separators, switch letters, digit runs of up
// to thousands of digits, quotes, tabs, any byte from 1 to 255, and lead bytes of double-byte
// characters (which may end the text).
#pragma once

#include <random>
#include <string>

inline std::string RandomTail(std::mt19937& random)
{
    static const char* const kPieces[] = {" ", "-", "/", "\t", "\"", ":", "s", "p", "L", "c", "C:", "a", "x"};
    std::string tail;
    for (unsigned pieces = random() % 8; pieces > 0; --pieces) {
        unsigned kind = random() % 4;
        if (kind == 0)
            tail += kPieces[random() % (sizeof kPieces / sizeof *kPieces)];
        for (unsigned digits = kind == 1 ? 1 + random() % (random() % 4 ? 12 : 3000) : 0; digits > 0; --digits)
            tail += static_cast<char>('0' + random() % 10);
        if (kind >= 2)
            tail += kind == 2 ? static_cast<char>(1 + random() % 255) : "\x81\x9f\xe0\xfc"[random() % 4];
    }
    return tail;
}
