// The -lh5- encoder: LZ77 over the format's 8,192-byte reach with
// cost-based optimal parsing, coded in blocks of static Huffman codes. It
// streams: the input is read in parts of PartBytes, coded on several threads
// and handed on in order, so that its memory does not grow with the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
    uint64_t InputBytes = 0;       // the input's size where known: its memory, never its output
};

// Where the encoder's input comes from and its output goes. Read fills up to
// size bytes of buffer and returns how many it gave, fewer only at the end of
// the input (a reader that fails ends the input there and keeps the error
// for its caller). Write takes the next compressed bytes and returns false
// to stop the encoding: nothing more is then read or written.
struct LH5Stream {
    std::function<size_t(uint8_t* buffer, size_t size)> Read;
    std::function<bool(const uint8_t* bytes, size_t size)> Write;
};

struct LH5StreamResult {
    uint64_t InputBytes = 0;  // bytes read
    uint64_t OutputBytes = 0; // bytes written
    bool Stopped = false;     // Write refused some bytes
};

// Compresses the whole input into the output, each part as soon as it and
// the parts before it are done. The same input and options always give the
// same bytes, whatever the number of threads and however Read cuts the
// input; an empty input gives no bytes.
LH5StreamResult EncodeLH5(const LH5Stream& stream,
                          const EncoderOptions& options = EncoderOptions());

// The compressed form of size bytes at data: the same bytes as the stream.
std::vector<uint8_t> EncodeLH5(const uint8_t* data, size_t size,
                               const EncoderOptions& options = EncoderOptions());
