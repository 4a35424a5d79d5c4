#include "PartEncoderLH5.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Prices are in sixteenths of a bit. Block cuts fall on checkpoints: one
// every 1/256 of a region's symbols, at least 128 and at most 1,024 apart.
enum { CostScale = 16, CheckpointsPerRegion = 256, CheckpointMin = 128, CheckpointMax = 1024 };
// The matches a region may hold: three per byte, against one or two on most
// inputs (at most one per distance class and position).
enum { MatchesPerByte = 3 };
// Costs are signed so that the parse's inner loop compares them in vector
// registers; a region's cheapest path stays far below this.
const int32_t Unreached = 0x7FFFFFFF;

void SetLengthCosts(CostModel& model) {
    for (int length = 0; length < MaxMatch + 4; ++length)
        model.Length[length] = length >= MinMatch && length <= MaxMatch
                                   ? model.Char[LiteralCount + length - MinMatch]
                                   : Unreached / 2;
}

// Price in bits of a symbol under the code its statistics would be sent
// with. The only symbol of a constant code costs nothing; a symbol the
// statistics never used is priced a little above the longest code, so that
// it is taken only where it clearly pays.
int SymbolBits(uint8_t length, uint32_t freq, int longest) {
    if (length)
        return length;
    return freq ? 0 : longest + 2;
}

void ModelFromStats(const BlockStats& stats, CostModel& model) {
    uint8_t charLen[CharCodeCount], posLen[PosCodeCount];
    BlockCodeLengths(stats, charLen, posLen);
    int longestChar = *std::max_element(charLen, charLen + CharCodeCount);
    int longestPos = *std::max_element(posLen, posLen + PosCodeCount);
    for (int i = 0; i < CharCodeCount; ++i)
        model.Char[i] = SymbolBits(charLen[i], stats.Char[i], longestChar) * CostScale;
    for (int p = 0; p < PosCodeCount; ++p) {
        int bits = SymbolBits(posLen[p], stats.Pos[p], longestPos) + PositionExtraBits(p);
        model.Slot[p] = bits * CostScale;
    }
    SetLengthCosts(model);
}

// Prices for the first parse of the input, before any statistics exist:
// literals by the byte frequencies of the region, matches by a rough guess
// that grows with length and distance.
void InitialModel(const uint8_t* data, uint32_t size, CostModel& model) {
    uint32_t count[LiteralCount] = {0};
    for (uint32_t i = 0; i < size; ++i)
        ++count[data[i]];
    for (int c = 0; c < LiteralCount; ++c) {
        double bits = count[c] ? std::log2(static_cast<double>(size) / count[c])
                               : std::log2(static_cast<double>(size)) + 2;
        bits = std::min(static_cast<double>(MaxCodeBits), std::max(1.0, bits));
        model.Char[c] = static_cast<int32_t>(bits * CostScale);
    }
    for (int length = MinMatch; length <= MaxMatch; ++length) {
        double bits = 4.0 + 1.5 * std::log2(static_cast<double>(length - 2));
        model.Char[LiteralCount + length - MinMatch] =
            static_cast<int32_t>(std::min(static_cast<double>(MaxCodeBits), bits) * CostScale);
    }
    for (int p = 0; p < PosCodeCount; ++p)
        model.Slot[p] = (3 + PositionExtraBits(p)) * CostScale;
    SetLengthCosts(model);
}

int SymbolBytes(const LzSymbol& s) {
    return s.Code < LiteralCount ? 1 : s.Code - LiteralCount + MinMatch;
}

// f * log2(f), from a table for the small counts that dominate.
double CountLog(uint32_t f) {
    enum { TableSize = 1 << 16 };
    static const std::vector<double> table = [] {
        std::vector<double> t(TableSize, 0.0);
        for (uint32_t i = 1; i < TableSize; ++i)
            t[i] = i * std::log2(static_cast<double>(i));
        return t;
    }();
    return f < TableSize ? table[f] : f * std::log2(static_cast<double>(f));
}

// The symbols that a run of symbols uses, in increasing order: the split
// estimates look at these alone, since a part of the run uses no others.
struct UsedSymbols {
    uint16_t Char[CharCodeCount];
    uint8_t Pos[PosCodeCount];
    int CharCount = 0;
    int PosCount = 0;
};

// Estimated size of the block that runs from the statistics 'from' to 'to'
// (prefix sums), for choosing split points: entropy of the symbols plus the
// extra bits and a header price that grows with the symbols in use.
double EstimateBlockBits(const BlockStats& from, const BlockStats& to, const UsedSymbols& used) {
    uint32_t total = 0;
    double sum = 0;
    int inUse = 0;
    for (int k = 0; k < used.CharCount; ++k) {
        uint32_t f = to.Char[used.Char[k]] - from.Char[used.Char[k]];
        total += f;
        sum += CountLog(f);
        inUse += f ? 1 : 0;
    }
    double bits = CountLog(total) - sum;
    total = 0;
    sum = 0;
    double extra = 0;
    for (int k = 0; k < used.PosCount; ++k) {
        int p = used.Pos[k];
        uint32_t f = to.Pos[p] - from.Pos[p];
        total += f;
        sum += CountLog(f);
        extra += static_cast<double>(f) * PositionExtraBits(p);
        inUse += f ? 1 : 0;
    }
    bits += CountLog(total) - sum;
    return bits + extra + 40 + 4.5 * inUse;
}

void FindUsedSymbols(const BlockStats& from, const BlockStats& to, UsedSymbols& used) {
    used.CharCount = 0;
    used.PosCount = 0;
    for (int i = 0; i < CharCodeCount; ++i)
        if (to.Char[i] != from.Char[i])
            used.Char[used.CharCount++] = static_cast<uint16_t>(i);
    for (int p = 0; p < PosCodeCount; ++p)
        if (to.Pos[p] != from.Pos[p])
            used.Pos[used.PosCount++] = static_cast<uint8_t>(p);
}

void SubtractStats(const BlockStats& whole, const BlockStats& part, BlockStats& out) {
    for (int i = 0; i < CharCodeCount; ++i)
        out.Char[i] = whole.Char[i] - part.Char[i];
    for (int p = 0; p < PosCodeCount; ++p)
        out.Pos[p] = whole.Pos[p] - part.Pos[p];
    out.Symbols = whole.Symbols - part.Symbols;
}

BlockStats StatsOf(const LzSymbol* symbols, size_t count) {
    BlockStats s;
    s.Clear();
    for (size_t i = 0; i < count; ++i)
        s.Add(symbols[i]);
    return s;
}

// Four costs at a time: GCC and Clang compile these to vector registers
// where the target has them, and to plain code elsewhere.
typedef int32_t Lanes __attribute__((vector_size(16)));
enum { LaneCount = 4 };

// Vectors pass by reference: by value they would take another calling
// convention on targets without vector registers.
inline void LoadLanes(Lanes& v, const void* at) {
    std::memcpy(&v, at, sizeof v);
}

inline void StoreLanes(void* at, const Lanes& v) {
    std::memcpy(at, &v, sizeof v);
}

// Offers the lengths first..last of one match to the positions they reach:
// a length whose cost undercuts the cost known there takes its place. The
// lanes past last (up to three) are read and written back as they were, so
// the arrays reach LaneCount - 1 entries further than any match.
inline void RelaxLengths(int32_t* cost, uint32_t* from, const int32_t* lengthCost, int32_t base,
                         uint32_t step, uint32_t first, uint32_t last) {
    const Lanes none = {0, 0, 0, 0};
    const Lanes baseLanes = none + base;
    const Lanes lastLanes = none + static_cast<int32_t>(last);
    const Lanes stepLanes = none + static_cast<int32_t>(step);
    Lanes length = Lanes{0, 1, 2, 3} + static_cast<int32_t>(first);
    for (uint32_t at = first; at <= last; at += LaneCount) {
        Lanes c, known, knownFrom;
        LoadLanes(c, lengthCost + at);
        c += baseLanes;
        LoadLanes(known, cost + at);
        Lanes better = (c < known) & (length <= lastLanes); // all ones where taken
        StoreLanes(cost + at, (c & better) | (known & ~better));
        LoadLanes(knownFrom, from + at);
        StoreLanes(from + at, ((stepLanes + length) & better) | (knownFrom & ~better));
        length += static_cast<int32_t>(LaneCount);
    }
}

template <typename T> void TakeRoom(std::vector<T>& v, size_t size) {
    v.assign(size, T());
    v.clear();
}

} // namespace

// Finds the matches of every position of the next region. A match of at
// least NiceLength is taken as it is, so the positions it covers are only
// inserted; the region never ends inside one.
uint32_t CPartEncoderLH5::CollectRegion(uint32_t start) {
    uint64_t target64 = static_cast<uint64_t>(start) + static_cast<uint64_t>(Options.RegionBytes);
    uint32_t target = target64 < End ? static_cast<uint32_t>(target64) : End;
    MatchIndex.clear();
    uint32_t count = 0; // matches so far; the finder writes straight into Matches
    uint32_t pos = start;
    // A region also ends where its matches fill their array, so that the
    // memory stays the same on any input.
    while (pos < target && count + CMatchFinder::MaxReported <= MatchBudget) {
        MatchIndex.push_back(count);
        const MatchCandidate* found = &Matches[count];
        int n = Finder.Find(pos, &Matches[count]);
        count += static_cast<uint32_t>(n);
        if (n > 0 && found[n - 1].Length >= Options.NiceLength) {
            uint32_t length = found[n - 1].Length;
            for (uint32_t k = 1; k < length; ++k) {
                MatchIndex.push_back(count);
                Finder.Skip(pos + k);
            }
            pos += length;
        } else {
            ++pos;
        }
    }
    MatchIndex.push_back(count);
    RegionStart = start;
    RegionSize = pos - start;
    return pos;
}

bool CPartEncoderLH5::IsForced(uint32_t i) const {
    uint32_t end = MatchIndex[i + 1];
    return end > MatchIndex[i] && Matches[end - 1].Length >= Options.NiceLength;
}

// Appends the cheapest path from 'from' to 'to' found so far.
void CPartEncoderLH5::CommitPath(uint32_t from, uint32_t to, std::vector<LzSymbol>& out) {
    // The path is found from its end: its symbols go to the end of Path
    // first, then in order to out.
    LzSymbol* end = Path.data() + Path.size();
    LzSymbol* first = end;
    uint32_t at = to;
    while (at > from) {
        uint32_t step = From[at];
        uint32_t length = step & 0xFFFF;
        if (length == 1)
            *--first = {Data[RegionStart + at - 1], 0};
        else
            *--first = {static_cast<uint16_t>(LiteralCount + length - MinMatch),
                        static_cast<uint16_t>((step >> 16) - 1)};
        at -= length;
    }
    out.insert(out.end(), first, end);
}

// Shortest path over the positions from..to of the region, each step a
// literal or a match priced by the model. lh5 keeps no state between symbols
// (no repeated distances), so this is the optimal parse for these prices.
void CPartEncoderLH5::Parse(uint32_t from, uint32_t to, const CostModel& model,
                            std::vector<LzSymbol>& out) {
    out.clear();
    std::fill(Cost.begin() + from, Cost.begin() + to + 1, Unreached);
    Cost[from] = 0;
    uint32_t segment = from;
    uint32_t i = from;
    while (i < to) {
        uint32_t first = MatchIndex[i], last = MatchIndex[i + 1];
        int32_t base = Cost[i];
        if (IsForced(i) && i + Matches[last - 1].Length <= to) {
            const MatchCandidate& m = Matches[last - 1];
            CommitPath(segment, i, out);
            out.push_back({static_cast<uint16_t>(LiteralCount + m.Length - MinMatch),
                           static_cast<uint16_t>(m.Distance - 1)});
            uint32_t stop = std::min(to, i + MaxMatch);
            std::fill(Cost.begin() + i + 1, Cost.begin() + stop + 1, Unreached);
            i += m.Length;
            segment = i;
            Cost[i] = base;
            continue;
        }
        int32_t literal = base + model.Char[Data[RegionStart + i]];
        if (literal < Cost[i + 1]) {
            Cost[i + 1] = literal;
            From[i + 1] = 1;
        }
        // A match is offered only the lengths that no nearer match as cheap
        // or cheaper serves: each entry serves every length up to its own.
        uint32_t room = to - i;
        int32_t classCost[CMatchFinder::MaxReported];
        uint32_t reach[CMatchFinder::MaxReported];
        int offered = 0;
        for (uint32_t k = first; k < last; ++k) {
            uint32_t longest = std::min<uint32_t>(Matches[k].Length, room);
            uint32_t distance = Matches[k].Distance;
            int32_t slotCost = model.Slot[Matches[k].Slot];
            uint32_t served = MinMatch - 1;
            for (int j = offered - 1; j >= 0; --j)
                if (classCost[j] <= slotCost) {
                    served = reach[j];
                    break;
                }
            if (longest > served)
                RelaxLengths(&Cost[i], &From[i], model.Length, base + slotCost, distance << 16,
                             served + 1, longest);
            classCost[offered] = slotCost;
            reach[offered] = longest;
            ++offered;
        }
        ++i;
    }
    CommitPath(segment, to, out);
}

// Parses the region several times, each time priced with the codes of the
// previous parse (the first time with the previous region's codes).
void CPartEncoderLH5::ParseRegion(std::vector<LzSymbol>& symbols) {
    Cost.assign(RegionSize + LaneCount, Unreached);
    From.assign(RegionSize + LaneCount, 0);
    int passes = HaveModel ? Options.Passes : Options.FirstPasses;
    if (!HaveModel)
        InitialModel(Data + RegionStart, RegionSize, Model);
    CostModel model = Model;
    for (int pass = 0; pass < passes; ++pass) {
        Parse(0, RegionSize, model, symbols);
        if (pass + 1 < passes)
            ModelFromStats(StatsOf(symbols.data(), symbols.size()), model);
    }
}

void CPartEncoderLH5::SplitBlocks(const std::vector<LzSymbol>& symbols, std::vector<size_t>& cuts) {
    CheckpointAt.clear();
    Prefix.clear();
    BlockStats running;
    running.Clear();
    size_t every = std::min<size_t>(
        CheckpointMax, std::max<size_t>(CheckpointMin, symbols.size() / CheckpointsPerRegion));
    for (size_t i = 0; i < symbols.size(); ++i) {
        if (i % every == 0) {
            CheckpointAt.push_back(i);
            Prefix.push_back(running);
        }
        running.Add(symbols[i]);
    }
    CheckpointAt.push_back(symbols.size());
    Prefix.push_back(running);
    std::vector<size_t>& at = CutCheckpoints;
    at.clear();
    at.push_back(0);
    SplitRange(0, CheckpointAt.size() - 1, at);
    MergeBlocks(at);
    cuts.clear();
    for (size_t k : at)
        cuts.push_back(CheckpointAt[k]);
}

// Top-down splitting decides each cut alone; joining two neighbours again
// where one code serves both better undoes the cuts that did not pay.
void CPartEncoderLH5::MergeBlocks(std::vector<size_t>& at) {
    bool merged = true;
    while (merged && at.size() > 2) {
        merged = false;
        for (size_t k = 0; k + 2 < at.size(); ++k) {
            if (CheckpointAt[at[k + 2]] - CheckpointAt[at[k]] > MaxBlockSymbols)
                continue;
            BlockStats a, b, both;
            SubtractStats(Prefix[at[k + 1]], Prefix[at[k]], a);
            SubtractStats(Prefix[at[k + 2]], Prefix[at[k + 1]], b);
            SubtractStats(Prefix[at[k + 2]], Prefix[at[k]], both);
            if (BlockBits(both) < BlockBits(a) + BlockBits(b)) {
                at.erase(at.begin() + static_cast<long>(k) + 1);
                merged = true;
            }
        }
    }
}

// The checkpoint strictly between a and b where two blocks look cheapest: a
// coarse look over at most about 32 candidates, then every checkpoint near
// the best of them.
size_t CPartEncoderLH5::BestCut(size_t a, size_t b) {
    size_t step = (b - a + 31) / 32;
    size_t bestCut = 0;
    double bestBits = 0;
    UsedSymbols used;
    FindUsedSymbols(Prefix[a], Prefix[b], used);
    auto consider = [&](size_t m) {
        double bits = EstimateBlockBits(Prefix[a], Prefix[m], used) +
                      EstimateBlockBits(Prefix[m], Prefix[b], used);
        if (bestCut == 0 || bits < bestBits) {
            bestBits = bits;
            bestCut = m;
        }
    };
    for (size_t m = a + step; m < b; m += step)
        consider(m);
    if (step > 1) {
        size_t centre = bestCut;
        size_t from = centre - std::min(centre - a - 1, step - 1);
        size_t to = std::min(b - 1, centre + step - 1);
        for (size_t m = from; m <= to; ++m)
            consider(m);
    }
    return bestCut;
}

// Splits the symbols between checkpoints a and b in two where the estimate
// says two codes pay for their second header, and goes on in each half; a
// range of more symbols than a block can count is always split.
void CPartEncoderLH5::SplitRange(size_t a, size_t b, std::vector<size_t>& cuts) {
    size_t symbols = CheckpointAt[b] - CheckpointAt[a];
    if (b - a >= 2) {
        BlockStats left, right, whole;
        SubtractStats(Prefix[b], Prefix[a], whole);
        size_t bestCut = BestCut(a, b);
        bool mustSplit = symbols > MaxBlockSymbols;
        bool pays = false;
        if (!mustSplit) {
            SubtractStats(Prefix[bestCut], Prefix[a], left);
            SubtractStats(Prefix[b], Prefix[bestCut], right);
            pays = BlockBits(left) + BlockBits(right) < BlockBits(whole);
        }
        if (mustSplit || pays) {
            SplitRange(a, bestCut, cuts);
            SplitRange(bestCut, b, cuts);
            return;
        }
    }
    cuts.push_back(b);
}

// Parses the block's bytes once more, priced with the block's own codes, and
// keeps whichever parse codes smaller; then writes it.
void CPartEncoderLH5::RefineAndWriteBlock(const LzSymbol* symbols, size_t count, uint32_t from) {
    BlockStats stats = StatsOf(symbols, count);
    uint64_t bits = BlockBits(stats);
    uint32_t to = from;
    for (size_t i = 0; i < count; ++i)
        to += SymbolBytes(symbols[i]);
    std::vector<LzSymbol>& best = Best;
    std::vector<LzSymbol>& trial = Trial;
    best.assign(symbols, symbols + count);
    for (int round = 0; round < Options.RefineRounds; ++round) {
        CostModel model;
        ModelFromStats(stats, model);
        Parse(from, to, model, trial);
        if (trial.size() > MaxBlockSymbols)
            break;
        BlockStats trialStats = StatsOf(trial.data(), trial.size());
        uint64_t trialBits = BlockBits(trialStats);
        if (trialBits >= bits)
            break;
        // A round that gained little says the next would gain less still.
        bool goOn = (bits - trialBits) * 1024 >= bits * static_cast<uint64_t>(Options.RefineGain);
        best.swap(trial);
        stats = trialStats;
        bits = trialBits;
        if (!goOn)
            break;
    }
    WriteBlock(*Out, best.data(), static_cast<int>(best.size()));
    ModelFromStats(stats, Model);
    HaveModel = true;
}

void CPartEncoderLH5::Run() {
    std::vector<LzSymbol>& symbols = Symbols;
    std::vector<size_t>& cuts = Cuts;
    uint32_t pos = Start;
    while (pos < End) {
        uint32_t next = CollectRegion(pos);
        ParseRegion(symbols);
        SplitBlocks(symbols, cuts);
        uint32_t from = 0;
        for (size_t k = 0; k + 1 < cuts.size(); ++k) {
            const LzSymbol* block = symbols.data() + cuts[k];
            size_t count = cuts[k + 1] - cuts[k];
            RefineAndWriteBlock(block, count, from);
            for (size_t i = 0; i < count; ++i)
                from += SymbolBytes(block[i]);
        }
        pos = next;
    }
}

// Every array takes at once the room of the largest region (one that ends
// in a match of the longest length) and touches it, so that none is moved
// while it grows and the memory in use does not depend on the input.
// An input known to be smaller than a region needs less room, though not
// another budget of matches: its output stays the same.
CPartEncoderLH5::CPartEncoderLH5(const EncoderOptions& options)
    : Options(options), Finder(nullptr, 0, options.MaxDepth) {
    size_t region = static_cast<size_t>(options.RegionBytes);
    if (options.InputBytes > 0 && options.InputBytes < region)
        region = static_cast<size_t>(options.InputBytes);
    MatchBudget = static_cast<size_t>(options.RegionBytes) * MatchesPerByte;
    Matches.resize(std::min(MatchBudget, region * CMatchFinder::MaxReported) +
                   CMatchFinder::MaxReported);
    size_t positions = region + MaxMatch + LaneCount;
    TakeRoom(MatchIndex, positions);
    TakeRoom(Cost, positions);
    TakeRoom(From, positions);
    TakeRoom(Symbols, positions);
    TakeRoom(Best, positions);
    TakeRoom(Trial, positions);
    Path.resize(positions);
    // Checkpoints stand at least 1/256 of the symbols apart, or 1,024.
    size_t checkpoints = std::max<size_t>(CheckpointsPerRegion, positions / CheckpointMax) + 2;
    TakeRoom(CheckpointAt, checkpoints);
    TakeRoom(Prefix, checkpoints);
}

void CPartEncoderLH5::Encode(const uint8_t* data, uint32_t start, uint32_t end, CBitWriter& out) {
    Data = data;
    Start = start;
    End = end;
    Out = &out;
    out.Clear();
    HaveModel = false;
    Finder.Reset(data, end);
    for (uint32_t p = start > MaxDistance ? start - MaxDistance : 0; p < start; ++p)
        Finder.Skip(p);
    Run();
}
