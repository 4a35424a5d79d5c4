#include "HuffmanCode.h"

#include <algorithm>
#include <vector>

namespace {

enum { MaxSymbols = 1024 };

// A package-merge item: a leaf (Symbol >= 0) or a package of two items of
// the previous level.
struct PmItem {
    uint64_t Weight;
    int Symbol;
    int First;
    int Second;
};

// Merges the leaves (sorted by weight) with the packages made of the previous
// level's list; leaves go first among equal weights so that the result does
// not depend on anything but the frequencies.
std::vector<int> MergeLevel(std::vector<PmItem>& items, const std::vector<int>& leaves,
                            const std::vector<int>& previous) {
    std::vector<int> packages;
    packages.reserve(previous.size() / 2);
    for (size_t k = 0; k + 1 < previous.size(); k += 2) {
        PmItem p{items[previous[k]].Weight + items[previous[k + 1]].Weight, -1, previous[k],
                 previous[k + 1]};
        items.push_back(p);
        packages.push_back(static_cast<int>(items.size()) - 1);
    }
    std::vector<int> merged;
    merged.reserve(leaves.size() + packages.size());
    size_t a = 0, b = 0;
    while (a < leaves.size() || b < packages.size()) {
        bool takeLeaf = b == packages.size() ||
                        (a < leaves.size() && items[leaves[a]].Weight <= items[packages[b]].Weight);
        merged.push_back(takeLeaf ? leaves[a++] : packages[b++]);
    }
    return merged;
}

// Every appearance of a leaf among the chosen items adds one bit to its code.
void CountLeafDepths(const std::vector<PmItem>& items, const std::vector<int>& chosen,
                     uint8_t* lengths) {
    std::vector<int> stack(chosen.begin(), chosen.end());
    while (!stack.empty()) {
        const PmItem& it = items[stack.back()];
        stack.pop_back();
        if (it.Symbol >= 0) {
            ++lengths[it.Symbol];
        } else {
            stack.push_back(it.First);
            stack.push_back(it.Second);
        }
    }
}

// Plain Huffman code lengths by the two-queue method: leaves sorted by
// weight (the key's high bits; its low 16 bits are the symbol), packages made
// in non-decreasing weight order. Returns the longest.
int HuffmanLengths(const uint64_t* keys, int n, uint8_t* lengths) {
    uint64_t weight[2 * MaxSymbols];
    int parent[2 * MaxSymbols];
    for (int i = 0; i < n; ++i) {
        weight[i] = keys[i] >> 16;
        parent[i] = -1;
    }
    int nextLeaf = 0, nextNode = n, made = n;
    auto takeSmallest = [&]() -> int {
        if (nextLeaf < n && (nextNode == made || weight[nextLeaf] <= weight[nextNode]))
            return nextLeaf++;
        return nextNode++;
    };
    while (made < 2 * n - 1) {
        int a = takeSmallest();
        int b = takeSmallest();
        weight[made] = weight[a] + weight[b];
        parent[made] = -1;
        parent[a] = parent[b] = made;
        ++made;
    }
    // Parents come after their children, so one backward pass gives depths.
    int depth[2 * MaxSymbols];
    int longest = 0;
    for (int k = 2 * n - 2; k >= 0; --k) {
        depth[k] = parent[k] >= 0 ? depth[parent[k]] + 1 : 0;
        if (k < n) {
            lengths[keys[k] & 0xFFFF] = static_cast<uint8_t>(depth[k] > 255 ? 255 : depth[k]);
            longest = std::max(longest, depth[k]);
        }
    }
    return longest;
}

} // namespace

int LimitedCodeLengths(const uint32_t* freq, int count, int maxBits, uint8_t* lengths) {
    // The used symbols sorted by frequency, ties in symbol order, so that
    // the result depends on nothing but the frequencies.
    uint64_t keys[MaxSymbols];
    int used = 0;
    for (int i = 0; i < count; ++i) {
        lengths[i] = 0;
        if (freq[i] > 0)
            keys[used++] = static_cast<uint64_t>(freq[i]) << 16 | static_cast<uint64_t>(i);
    }
    if (used == 0)
        return 0;
    if (used == 1) {
        lengths[keys[0] & 0xFFFF] = 1;
        return 1;
    }
    std::sort(keys, keys + used);
    // An unlimited Huffman code that already fits is optimal under the limit
    // too; package-merge is needed only where it does not.
    if (HuffmanLengths(keys, used, lengths) <= maxBits)
        return used;
    std::vector<PmItem> items;
    std::vector<int> leaves;
    items.reserve(static_cast<size_t>(used) * (maxBits + 1));
    for (int k = 0; k < used; ++k) {
        int symbol = static_cast<int>(keys[k] & 0xFFFF);
        lengths[symbol] = 0;
        items.push_back({keys[k] >> 16, symbol, -1, -1});
        leaves.push_back(k);
    }
    std::vector<int> level = leaves;
    for (int depth = 1; depth < maxBits; ++depth)
        level = MergeLevel(items, leaves, level);
    level.resize(static_cast<size_t>(2 * used - 2));
    CountLeafDepths(items, level, lengths);
    return used;
}

void CanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes) {
    int perLength[MaxCodeBits + 2] = {0};
    for (int i = 0; i < count; ++i)
        ++perLength[lengths[i]];
    perLength[0] = 0;
    uint32_t next[MaxCodeBits + 2] = {0};
    uint32_t code = 0;
    for (int bits = 1; bits <= MaxCodeBits; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int i = 0; i < count; ++i)
        codes[i] = lengths[i] ? static_cast<uint16_t>(next[lengths[i]]++) : 0;
}

uint32_t KraftSum(const uint8_t* lengths, int count, int maxBits) {
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i)
        if (lengths[i] > 0 && lengths[i] <= maxBits)
            sum += 1u << (maxBits - lengths[i]);
    return sum;
}
