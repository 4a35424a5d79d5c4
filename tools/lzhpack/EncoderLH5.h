// The -lh5- encoder: LZ77 over the format's 8,192-byte reach with
// cost-based optimal parsing, coded in blocks of static Huffman codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct EncoderOptions {
    int MaxDepth = 64;         // tree nodes visited per position by the match finder
    int NiceLength = 100;      // a match at least this long is taken without weighing others
    int FirstPasses = 2;       // parses of a part's first region, each priced with the last's codes
    int Passes = 1;            // parses of each later region (the region before gives the prices)
    int RefineRounds = 3;      // at most this many parses of a block priced with its own codes,
    int RefineGain = 10;       // each after one that gained at least this many 1/1024 of it
    int RegionBytes = 1 << 18; // input parsed and split into blocks at a time
    uint32_t PartBytes = 1u << 20; // input coded apart (and in parallel) with a shared dictionary
    int Threads = 2;               // workers for the parts; never changes the output
};

// The compressed form of size bytes at data; the same input and options
// always give the same bytes, whatever the number of threads. An empty input
// gives an empty result.
std::vector<uint8_t> EncodeLH5(const uint8_t* data, size_t size,
                               const EncoderOptions& options = EncoderOptions());
