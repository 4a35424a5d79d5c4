#include "MatchFinder.h"

#include "BlockWriterLH5.h" // PositionSlot

#include <algorithm>
#include <cstring>

namespace {

enum {
    HashBits = 16,
    CyclicSize = 16384, // more than the 8,192-byte reach, so a slot is never
                        // reused while its string can still be matched
    CyclicMask = CyclicSize - 1,
    Bias = MaxDistance + 1
};

// Number of equal bytes of a and b from offset start up to limit.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t start, uint32_t limit) {
    uint32_t n = start;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + static_cast<uint32_t>(__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

} // namespace

CMatchFinder::CMatchFinder(const uint8_t* data, uint32_t size, int maxDepth)
    : Data(data), Size(size), MaxDepth(maxDepth), Head(1u << HashBits, 0), Tree(2 * CyclicSize, 0) {
}

// Only the heads need clearing: a tree node is reached only from a head or
// from a node inserted after it.
void CMatchFinder::Reset(const uint8_t* data, uint32_t size) {
    Data = data;
    Size = size;
    std::fill(Head.begin(), Head.end(), 0);
}

uint32_t CMatchFinder::HashAt(uint32_t pos) const {
    uint32_t v = Data[pos] | (static_cast<uint32_t>(Data[pos + 1]) << 8) |
                 (static_cast<uint32_t>(Data[pos + 2]) << 16);
    return (v * 2654435761u) >> (32 - HashBits);
}

int CMatchFinder::Walk(uint32_t pos, MatchCandidate* out) {
    uint32_t left = Size - pos;
    if (left < MinMatch)
        return 0;
    uint32_t limit =
        left < static_cast<uint32_t>(MaxMatch) ? left : static_cast<uint32_t>(MaxMatch);
    // Positions are kept as position + Bias, so that 0, the empty tree,
    // lies beyond the reach like every string that has left it: one test
    // ends the walk at either.
    const uint32_t here = pos + Bias;
    uint32_t h = HashAt(pos);
    uint32_t candidate = Head[h];
    Head[h] = here;

    // smallerSlot receives the next node found to sort before the current
    // string, largerSlot the next one after it; both start as the children
    // of the current position's own node.
    uint32_t slot = pos & CyclicMask;
    uint32_t* smallerSlot = &Tree[2 * slot];
    uint32_t* largerSlot = &Tree[2 * slot + 1];
    uint32_t smallerLen = 0, largerLen = 0;
    uint32_t best = MinMatch - 1;
    int found = 0;
    int lastSlot = -1;
    const uint8_t* cur = Data + pos;

    for (int depth = MaxDepth; depth > 0; --depth) {
        uint32_t distance = here - candidate;
        if (distance > MaxDistance)
            break;
        uint32_t* pair = &Tree[2 * ((pos - distance) & CyclicMask)];
        const uint8_t* match = cur - distance;
        uint32_t known = smallerLen < largerLen ? smallerLen : largerLen;
        uint32_t len = CommonLength(cur, match, known, limit);
        if (len > best) {
            best = len;
            if (out) {
                // A longer match of the class just reported replaces it.
                int distanceClass = PositionSlot(distance - 1);
                if (found > 0 && distanceClass == lastSlot)
                    --found;
                out[found++] = {static_cast<uint16_t>(len), static_cast<uint16_t>(distance),
                                static_cast<uint16_t>(distanceClass)};
                lastSlot = distanceClass;
            }
        }
        if (len == limit) {
            // The old string equals the current one as far as the tree
            // looks: the current position takes its place and its children.
            *smallerSlot = pair[0];
            *largerSlot = pair[1];
            return found;
        }
        if (match[len] < cur[len]) {
            *smallerSlot = candidate;
            smallerSlot = &pair[1];
            candidate = *smallerSlot;
            smallerLen = len;
        } else {
            *largerSlot = candidate;
            largerSlot = &pair[0];
            candidate = *largerSlot;
            largerLen = len;
        }
    }
    *smallerSlot = 0;
    *largerSlot = 0;
    return found;
}

int CMatchFinder::Find(uint32_t pos, MatchCandidate* out) {
    return Walk(pos, out);
}
