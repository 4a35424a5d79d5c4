// One part of a -lh5- stream: LZ77 over the format's 8,192-byte reach with
// cost-based optimal parsing, coded in blocks of static Huffman codes. The
// parts of a stream are coded apart and their bits joined (EncoderLH5.cpp).
#pragma once

#include "BitWriter.h"
#include "BlockWriterLH5.h"
#include "EncoderLH5.h"
#include "MatchFinder.h"

#include <cstdint>
#include <vector>

// Prices of the symbols for a parse, in sixteenths of a bit.
struct CostModel {
    int32_t Char[CharCodeCount];
    int32_t Slot[PosCodeCount]; // the slot's code and its extra bits
    // The length symbols' costs by match length, with room for the lanes
    // that the parse reads past the longest match.
    int32_t Length[MaxMatch + 4];
};

// Codes parts one after another; the arrays of one part serve the next, so
// that a thread's memory stays the same from its first part to its last.
class CPartEncoderLH5 {
  public:
    explicit CPartEncoderLH5(const EncoderOptions& options);

    // Codes the bytes from start to end of data as blocks that continue a
    // stream whose earlier bytes end at start: matches reach into the up to
    // 8,192 bytes before start. out receives the blocks, the last byte
    // perhaps partly used (out.BitCount()).
    void Encode(const uint8_t* data, uint32_t start, uint32_t end, CBitWriter& out);

  private:
    void Run();
    uint32_t CollectRegion(uint32_t start);
    bool IsForced(uint32_t i) const;
    void Parse(uint32_t from, uint32_t to, const CostModel& model, std::vector<LzSymbol>& out);
    void CommitPath(uint32_t from, uint32_t to, std::vector<LzSymbol>& out);
    void ParseRegion(std::vector<LzSymbol>& symbols);
    void SplitBlocks(const std::vector<LzSymbol>& symbols, std::vector<size_t>& cuts);
    void SplitRange(size_t a, size_t b, std::vector<size_t>& cuts);
    size_t BestCut(size_t a, size_t b);
    void MergeBlocks(std::vector<size_t>& at);
    void RefineAndWriteBlock(const LzSymbol* symbols, size_t count, uint32_t from);

    const EncoderOptions Options;
    CMatchFinder Finder;
    const uint8_t* Data = nullptr;
    uint32_t Start = 0;
    uint32_t End = 0;
    CBitWriter* Out = nullptr;

    // The current region: its matches by position and the parse's arrays,
    // indexed by position relative to RegionStart.
    uint32_t RegionStart = 0;
    uint32_t RegionSize = 0;
    std::vector<uint32_t> MatchIndex;    // per position: its first match
    std::vector<MatchCandidate> Matches; // room for more than the region's
    size_t MatchBudget = 0;              // the most a region collects
    // The parse: the cheapest cost of reaching each position and the step
    // that reaches it there (its length, and its distance << 16).
    std::vector<int32_t> Cost;
    std::vector<uint32_t> From;

    // Checkpoints of the region's parse for block splitting.
    std::vector<size_t> CheckpointAt;
    std::vector<BlockStats> Prefix;

    // The region's symbols, where its blocks begin (by symbol and by
    // checkpoint), and a block's parses: kept, like every array here, so
    // that no part allocates anew.
    std::vector<LzSymbol> Symbols;
    std::vector<size_t> Cuts;
    std::vector<size_t> CutCheckpoints;
    std::vector<LzSymbol> Best;
    std::vector<LzSymbol> Trial;
    std::vector<LzSymbol> Path; // room for a parse's path, written from its end

    bool HaveModel = false;
    CostModel Model;
};
