#include "HuffmanTable.h"

#include "FormatLZH.h"

#include "FileBuffer.h"

#include <cstring>
#include <new>

namespace {}

CHuffmanTable::CHuffmanTable()
    : SymbolCount(0), TableBits(0), SymbolCapacity(0), BitsCapacity(0), CodeLengths(nullptr),
      DirectTable(nullptr), TreeNodes(nullptr) {}

CHuffmanTable::~CHuffmanTable() {
    Release();
}

// Storage only grows: a table shared by codes of 19 and 14 symbols keeps the
// arrays sized for 19, and later blocks allocate nothing. An allocation that
// fails leaves the table empty (sized for nothing) and ends the member as
// undecodable, within the slice, like any other failure of its data.
void CHuffmanTable::Reserve(int count, int bits) {
    if (TreeNodes == nullptr || count != SymbolCount) {
        SymbolCount = count;
        if (count > SymbolCapacity || TreeNodes == nullptr) {
            const int capacity = count > SymbolCapacity ? count : SymbolCapacity;
            delete[] CodeLengths;
            delete[] TreeNodes;
            CodeLengths = new (std::nothrow) int[capacity];
            TreeNodes = new (std::nothrow) int[2 * capacity - 1][2];
            SymbolCapacity = capacity;
            if (CodeLengths == nullptr || TreeNodes == nullptr) {
                Release();
                throw CExceptionLZH();
            }
        }
    }
    if (DirectTable == nullptr || bits != TableBits) {
        TableBits = bits;
        if (bits > BitsCapacity || DirectTable == nullptr) {
            const int capacity = bits > BitsCapacity ? bits : BitsCapacity;
            delete[] DirectTable;
            DirectTable = new (std::nothrow) unsigned short[1 << capacity];
            BitsCapacity = capacity;
            if (DirectTable == nullptr) {
                Release();
                throw CExceptionLZH();
            }
        }
    }
}

void CHuffmanTable::Release() {
    delete[] CodeLengths;
    delete[] DirectTable;
    delete[] TreeNodes;
    CodeLengths = nullptr;
    DirectTable = nullptr;
    TreeNodes = nullptr;
    SymbolCount = 0;
    TableBits = 0;
    SymbolCapacity = 0;
    BitsCapacity = 0;
}

void CHuffmanTable::Build(int count, int bits, const int* lengths) {
    // Corrupt data can ask for lengths up to 23; they have no slot below.
    for (int i = 0; i < count; ++i)
        if (lengths[i] < 0 || lengths[i] > MaxCodeBits)
            throw CExceptionLZH();

    Reserve(count, bits);
    int counts[MaxCodeBits + 1] = {};
    for (int i = 0; i < count; ++i) {
        CodeLengths[i] = lengths[i];
        ++counts[lengths[i]];
    }

    // First code and code-space share of each length. Codes up to `bits` bits
    // are direct-table indices; longer ones are left-aligned 16-bit codes.
    int start[MaxCodeBits + 1];
    int weight[MaxCodeBits + 1];
    int total = 0;
    for (int len = 1; len <= bits; ++len) {
        start[len] = total;
        weight[len] = 1 << (bits - len);
        total += counts[len] * weight[len];
    }
    const int directEnd = total;
    total <<= 16 - bits;
    for (int len = bits + 1; len <= MaxCodeBits; ++len) {
        start[len] = total;
        weight[len] = 1 << (MaxCodeBits - len);
        total += counts[len] * weight[len];
    }
    if (total != 1 << MaxCodeBits)
        throw CExceptionLZH(); // incomplete or over-subscribed

    for (int i = directEnd; i < 1 << bits; ++i)
        DirectTable[i] = 0; // tree roots go here
    std::memset(TreeNodes + count, 0, sizeof(TreeNodes[0]) * static_cast<size_t>(count - 1));

    // A place holding 0 is empty: node numbers start at count, never 0, a
    // root carries LongCode, and a place on another code's path never holds a
    // symbol in a prefix code.
    int nextNode = count;
    for (int j = 0; j < count; ++j) {
        const int len = CodeLengths[j];
        if (len == 0)
            continue;
        const int k = start[len];
        start[len] += weight[len];
        if (len <= bits) {
            const unsigned short entry = static_cast<unsigned short>(j << LengthBits | len);
            for (int i = 0; i < weight[len]; ++i)
                DirectTable[k + i] = entry;
            continue;
        }
        unsigned short& root = DirectTable[k >> (16 - bits)];
        if (root == 0)
            root = static_cast<unsigned short>(LongCode | nextNode++);
        int node = root & ~LongCode;
        unsigned mask = 1u << (15 - bits);
        for (int depth = bits + 1; depth < len; ++depth) {
            int& child = TreeNodes[node][(k & mask) ? 1 : 0];
            if (child == 0)
                child = nextNode++;
            node = child;
            mask >>= 1;
        }
        TreeNodes[node][(k & mask) ? 1 : 0] = j;
    }
}

// The window's bits after the first TableBits lead from the root to a leaf;
// the code is complete, so every walk ends at a symbol.
int CHuffmanTable::DecodeLongCode(unsigned window, unsigned root, int& symbol) const {
    int e = static_cast<int>(root & ~LongCode);
    unsigned mask = 1u << (15 - TableBits);
    do {
        e = TreeNodes[e][(window & mask) ? 1 : 0];
        mask >>= 1;
    } while (e >= SymbolCount);
    symbol = e;
    return CodeLengths[e];
}

// A symbol outside the code (corrupt data) decodes as symbol 0, also with
// length 0.
void CHuffmanTable::BuildConstant(int count, int bits, int symbol) {
    Reserve(count, bits);
    if (symbol < 0 || symbol >= count)
        symbol = 0;
    for (int i = 0; i < count; ++i)
        CodeLengths[i] = 0;
    const unsigned short entry = static_cast<unsigned short>(symbol << LengthBits);
    for (int i = 0; i < 1 << bits; ++i)
        DirectTable[i] = entry;
}
