// One -lh5- block on the wire: the symbol count, the three code-length lists
// (pre-code, character/length code, position code) and the coded symbols.
#pragma once

#include "BitWriter.h"
#include "FormatLZH.h"

#include <cstdint>

// The most symbols one block header can announce.
enum { MaxBlockSymbols = (1 << BlockCountBits) - 1 };

// A literal (Code below 256) or a match: Code = 256 + length - 3 and Dist =
// distance - 1, the value that the position code and its extra bits carry.
struct LzSymbol {
    uint16_t Code;
    uint16_t Dist;
};

// Position symbol of a stored distance value d (0 to 8191): 0 and 1 stand for
// themselves, p >= 2 covers 2^(p-1) to 2^p - 1 with p - 1 extra bits.
inline int PositionSlot(unsigned d) {
    return d == 0 ? 0 : 32 - __builtin_clz(d);
}

inline int PositionExtraBits(int slot) {
    return slot < 2 ? 0 : slot - 1;
}

// Symbol frequencies of a run of symbols, the input of every code decision.
struct BlockStats {
    uint32_t Char[CharCodeCount];
    uint32_t Pos[PosCodeCount];
    uint32_t Symbols;

    void Clear();
    void Add(const LzSymbol& s) {
        ++Char[s.Code];
        if (s.Code >= LiteralCount)
            Pos[PositionSlot(s.Dist)]++;
        ++Symbols;
    }
    void Add(const BlockStats& other);
};

// Exact size in bits of a block with these statistics, header included.
uint64_t BlockBits(const BlockStats& stats);

// The code lengths that a block with these statistics is sent with (0 for
// symbols it does not use).
void BlockCodeLengths(const BlockStats& stats, uint8_t* charLengths, uint8_t* posLengths);

// Writes one block of 1 to 65,535 symbols.
void WriteBlock(CBitWriter& out, const LzSymbol* symbols, int count);
