#include "BlockWriterLH5.h"

#include "HuffmanCode.h"

#include <cstring>
#include <vector>

namespace {

// One entry of the coded character/length list: a pre-code symbol and the
// extra bits that follow it (the length of a zero run).
struct LengthToken {
    uint8_t Symbol;
    uint8_t ExtraBits;
    uint16_t Extra;
};

int UsedCount(const uint8_t* lengths, int count) {
    while (count > 0 && lengths[count - 1] == 0)
        --count;
    return count;
}

int SingleSymbol(const uint32_t* freq, int count, int* used) {
    int symbol = 0;
    *used = 0;
    for (int i = 0; i < count; ++i)
        if (freq[i] > 0) {
            symbol = i;
            (*used)++;
        }
    return symbol;
}

// The longest zero run of each kind: 18 and 531.
enum {
    ShortZeroRunMax = ShortZeroRunMin + (1 << ShortZeroRunBits) - 1,
    LongZeroRunMax = LongZeroRunMin + (1 << LongZeroRunBits) - 1
};

// Zero runs of the character/length list: 1 or 2 zeros as that many single
// zeros, 3 to 18 as a short run, 19 as one single zero and a short run of
// 18, 20 to 531 as a long run; longer runs in pieces.
void AddZeroRun(std::vector<LengthToken>& tokens, int run) {
    while (run > 0) {
        if (run < ShortZeroRunMin || run == ShortZeroRunMax + 1) {
            tokens.push_back({PreOneZero, 0, 0});
            --run;
        } else if (run <= ShortZeroRunMax) {
            tokens.push_back(
                {PreShortZeroRun, ShortZeroRunBits, static_cast<uint16_t>(run - ShortZeroRunMin)});
            run = 0;
        } else {
            int piece = run > LongZeroRunMax ? LongZeroRunMax : run;
            tokens.push_back(
                {PreLongZeroRun, LongZeroRunBits, static_cast<uint16_t>(piece - LongZeroRunMin)});
            run -= piece;
        }
    }
}

std::vector<LengthToken> CharLengthTokens(const uint8_t* lengths, int count) {
    std::vector<LengthToken> tokens;
    int i = 0;
    while (i < count) {
        if (lengths[i] != 0) {
            tokens.push_back({static_cast<uint8_t>(lengths[i] + PreLengthBase), 0, 0});
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < count && lengths[i + run] == 0)
            ++run;
        AddZeroRun(tokens, run);
        i += run;
    }
    return tokens;
}

// A code length of the pre-code or the position code: 0 to 6 in three bits,
// 7 and more as three one-bits followed by (length - 7) one-bits and a zero.
void PutCodeLength(CBitWriter& out, int length) {
    if (length < LengthEscape) {
        out.PutBits(CodeLengthBits, static_cast<uint32_t>(length));
        return;
    }
    int ones = length - LengthEscape;
    out.PutBits(CodeLengthBits, LengthEscape);
    out.PutBits(ones + 1, ((1u << (ones + 1)) - 1) & ~1u);
}

// The pre-code list, with the two-bit count of zeros at entries 3 to 5.
void PutPreCodeLengths(CBitWriter& out, const uint8_t* lengths) {
    int n = UsedCount(lengths, PreCodeCount);
    out.PutBits(PreCountBits, static_cast<uint32_t>(n));
    int i = 0;
    while (i < n) {
        if (i == PreZeroRunIndex) {
            int zeros = 0;
            while (zeros < (1 << PreZeroRunBits) - 1 && i + zeros < n && lengths[i + zeros] == 0)
                ++zeros;
            out.PutBits(PreZeroRunBits, static_cast<uint32_t>(zeros));
            i += zeros;
            if (zeros > 0)
                continue;
        }
        PutCodeLength(out, lengths[i]);
        ++i;
    }
}

// A code that uses a single symbol (or none) goes as a constant: a count of
// 0 and the symbol, and its symbols then take no bits.
struct CodeSet {
    uint8_t CharLen[CharCodeCount];
    uint16_t CharCode[CharCodeCount];
    uint8_t PosLen[PosCodeCount];
    uint16_t PosCode[PosCodeCount];
    int CharUsed, CharConstant;
    int PosUsed, PosConstant;
};

void MakeCodes(const BlockStats& stats, CodeSet& set) {
    set.CharConstant = SingleSymbol(stats.Char, CharCodeCount, &set.CharUsed);
    set.PosConstant = SingleSymbol(stats.Pos, PosCodeCount, &set.PosUsed);
    LimitedCodeLengths(stats.Char, CharCodeCount, MaxCodeBits, set.CharLen);
    LimitedCodeLengths(stats.Pos, PosCodeCount, MaxCodeBits, set.PosLen);
    if (set.CharUsed <= 1)
        std::memset(set.CharLen, 0, sizeof set.CharLen);
    if (set.PosUsed <= 1)
        std::memset(set.PosLen, 0, sizeof set.PosLen);
    CanonicalCodes(set.CharLen, CharCodeCount, set.CharCode);
    CanonicalCodes(set.PosLen, PosCodeCount, set.PosCode);
}

void PutCharCode(CBitWriter& out, const CodeSet& set) {
    if (set.CharUsed <= 1) {
        out.PutBits(PreCountBits, 0);
        out.PutBits(PreCountBits, 0);
        out.PutBits(CharCountBits, 0);
        out.PutBits(CharCountBits, static_cast<uint32_t>(set.CharConstant));
        return;
    }
    int n = UsedCount(set.CharLen, CharCodeCount);
    std::vector<LengthToken> tokens = CharLengthTokens(set.CharLen, n);
    uint32_t preFreq[PreCodeCount] = {0};
    for (const LengthToken& t : tokens)
        ++preFreq[t.Symbol];
    int preUsed = 0;
    int preConstant = SingleSymbol(preFreq, PreCodeCount, &preUsed);
    uint8_t preLen[PreCodeCount];
    uint16_t preCode[PreCodeCount];
    LimitedCodeLengths(preFreq, PreCodeCount, MaxCodeBits, preLen);
    if (preUsed <= 1) {
        std::memset(preLen, 0, sizeof preLen);
        out.PutBits(PreCountBits, 0);
        out.PutBits(PreCountBits, static_cast<uint32_t>(preConstant));
    } else {
        PutPreCodeLengths(out, preLen);
    }
    CanonicalCodes(preLen, PreCodeCount, preCode);
    out.PutBits(CharCountBits, static_cast<uint32_t>(n));
    for (const LengthToken& t : tokens) {
        out.PutBits(preLen[t.Symbol], preCode[t.Symbol]);
        out.PutBits(t.ExtraBits, t.Extra);
    }
}

void PutPositionCode(CBitWriter& out, const CodeSet& set) {
    if (set.PosUsed <= 1) {
        out.PutBits(PosCountBits, 0);
        out.PutBits(PosCountBits, static_cast<uint32_t>(set.PosConstant));
        return;
    }
    int n = UsedCount(set.PosLen, PosCodeCount);
    out.PutBits(PosCountBits, static_cast<uint32_t>(n));
    for (int i = 0; i < n; ++i)
        PutCodeLength(out, set.PosLen[i]);
}

void PutHeader(CBitWriter& out, const BlockStats& stats, const CodeSet& set) {
    out.PutBits(BlockCountBits, stats.Symbols);
    PutCharCode(out, set);
    PutPositionCode(out, set);
}

} // namespace

void BlockStats::Clear() {
    std::memset(this, 0, sizeof *this);
}

void BlockStats::Add(const BlockStats& other) {
    for (int i = 0; i < CharCodeCount; ++i)
        Char[i] += other.Char[i];
    for (int i = 0; i < PosCodeCount; ++i)
        Pos[i] += other.Pos[i];
    Symbols += other.Symbols;
}

uint64_t BlockBits(const BlockStats& stats) {
    CodeSet set;
    MakeCodes(stats, set);
    CBitWriter header;
    PutHeader(header, stats, set);
    uint64_t bits = header.BitCount();
    for (int i = 0; i < CharCodeCount; ++i)
        bits += static_cast<uint64_t>(stats.Char[i]) * set.CharLen[i];
    for (int p = 0; p < PosCodeCount; ++p)
        bits += static_cast<uint64_t>(stats.Pos[p]) * (set.PosLen[p] + PositionExtraBits(p));
    return bits;
}

void BlockCodeLengths(const BlockStats& stats, uint8_t* charLengths, uint8_t* posLengths) {
    CodeSet set;
    MakeCodes(stats, set);
    std::memcpy(charLengths, set.CharLen, sizeof set.CharLen);
    std::memcpy(posLengths, set.PosLen, sizeof set.PosLen);
}

void WriteBlock(CBitWriter& out, const LzSymbol* symbols, int count) {
    BlockStats stats;
    stats.Clear();
    for (int i = 0; i < count; ++i)
        stats.Add(symbols[i]);
    CodeSet set;
    MakeCodes(stats, set);
    PutHeader(out, stats, set);
    for (int i = 0; i < count; ++i) {
        const LzSymbol& s = symbols[i];
        out.PutBits(set.CharLen[s.Code], set.CharCode[s.Code]);
        if (s.Code < LiteralCount)
            continue;
        int slot = PositionSlot(s.Dist);
        out.PutBits(set.PosLen[slot], set.PosCode[slot]);
        if (slot >= 2)
            out.PutBits(slot - 1, s.Dist - (1u << (slot - 1)));
    }
}
