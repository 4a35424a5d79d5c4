// Decoder for a canonical prefix code of at most 16 bits, read from the
// 16-bit window of the bit input.
#pragma once

class CHuffmanTable {
  public:
    CHuffmanTable();
    ~CHuffmanTable();
    CHuffmanTable(const CHuffmanTable&) = delete;
    CHuffmanTable& operator=(const CHuffmanTable&) = delete;

    // Throws CExceptionLZH unless the lengths (0 to 16) form a complete code.
    void Build(int count, int bits, const int* lengths);
    // Every lookup yields symbol and consumes no bits.
    void BuildConstant(int count, int bits, int symbol);
    // Stores the symbol that the window starts with; returns its code length.
    inline int Decode(unsigned window, int& symbol) const;

    // The direct-table entry of a window gives symbol and code length in one
    // look-up: symbol << LengthBits | length. A code longer than the table's
    // bits starts with a tree root instead, LongCode | node, whose walk goes
    // on through the window's further bits (Decode takes it). Symbols and
    // nodes stay below 1,024 (at most 510 symbols and 509 nodes), so no leaf
    // has the LongCode bit.
    enum { LengthBits = 5, LengthMask = (1 << LengthBits) - 1, LongCode = 0x8000 };
    unsigned Entry(unsigned window) const {
        return DirectTable[(window & 0xFFFF) >> (16 - TableBits)];
    }
    // The same for a caller that knows the table's bits: `index` is the
    // window's first TableBits bits.
    unsigned EntryAt(unsigned index) const { return DirectTable[index]; }
    static bool IsLongCode(unsigned entry) { return (entry & LongCode) != 0; }
    // A leaf of a symbol below `count`, told in one comparison: the symbol
    // stands above the length, and a tree root above every leaf.
    template <int count> static bool IsLeafBelow(unsigned entry) {
        static_assert(count << LengthBits <= LongCode, "every such leaf lies below a root");
        return entry < static_cast<unsigned>(count) << LengthBits;
    }
    static int SymbolOf(unsigned entry) { return static_cast<int>(entry >> LengthBits); }
    static int LengthOf(unsigned entry) { return static_cast<int>(entry & LengthMask); }

  private:
    void Reserve(int count, int bits);
    void Release();
    int DecodeLongCode(unsigned window, unsigned root, int& symbol) const;

    int SymbolCount;    // values below it are symbols, the rest tree nodes
    int TableBits;      // leading window bits that index DirectTable
    int SymbolCapacity; // what CodeLengths and TreeNodes are sized for
    int BitsCapacity;   // what DirectTable is sized for
    int* CodeLengths;
    unsigned short* DirectTable;
    int (*TreeNodes)[2]; // children for a 0 bit and a 1 bit, by node number
};

inline int CHuffmanTable::Decode(unsigned window, int& symbol) const {
    const unsigned e = Entry(window);
    if (IsLongCode(e))
        return DecodeLongCode(window, e, symbol);
    symbol = SymbolOf(e);
    return LengthOf(e);
}
