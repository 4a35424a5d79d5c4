// Match finder of the -lh5- encoder: a binary tree of the strings that start
// at the last 8,192 positions, one tree per hash of their first three bytes.
// A search walks the tree from the newest string down, meets every match
// that is longer than all nearer ones, and re-roots the tree at the current
// position on the way, so that the tree stays sorted without a separate
// insertion pass. Of the matches met in one distance class (one position
// symbol, which with its extra bits prices every distance of the class
// alike) only the longest is reported: it serves every shorter length at the
// same price.
#pragma once

#include "FormatLZH.h"

#include <cstdint>
#include <vector>

struct MatchCandidate {
    uint16_t Length;   // 3 to 256
    uint16_t Distance; // 1 to 8192 bytes back
    uint16_t Slot;     // its distance class: the position symbol of Distance - 1
};

class CMatchFinder {
  public:
    // data stays owned by the caller and must outlive the finder. maxDepth
    // bounds the nodes visited per position.
    CMatchFinder(const uint8_t* data, uint32_t size, int maxDepth);
    // Starts again, empty, on other data.
    void Reset(const uint8_t* data, uint32_t size);

    // Inserts pos and returns the number of matches written to out (at most
    // MaxReported), in increasing length, distance and distance class, at
    // most one per class: for every length up to the longest, the nearest
    // match at least that long lies in the class of the first entry whose
    // length reaches it. Positions must be visited in order.
    int Find(uint32_t pos, MatchCandidate* out);
    // Inserts pos without reporting matches.
    void Skip(uint32_t pos) { Walk(pos, nullptr); }

    enum { MaxReported = PosCodeCount };

  private:
    int Walk(uint32_t pos, MatchCandidate* out);
    uint32_t HashAt(uint32_t pos) const;

    const uint8_t* Data;
    uint32_t Size;
    int MaxDepth;
    std::vector<uint32_t> Head; // per hash: newest position + 1, 0 = none
    std::vector<uint32_t> Tree; // per cyclic slot: smaller child, larger child
};
