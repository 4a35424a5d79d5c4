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

  private:
    void Reserve(int count, int bits);
    void Release();

    int SymbolCount;    // values below it are symbols, the rest tree nodes
    int TableBits;      // leading window bits that index DirectTable
    int SymbolCapacity; // what CodeLengths and TreeNodes are sized for
    int BitsCapacity;   // what DirectTable is sized for
    int* CodeLengths;
    int* DirectTable;
    int (*TreeNodes)[2]; // children for a 0 bit and a 1 bit, by node number
};

inline int CHuffmanTable::Decode(unsigned window, int& symbol) const {
    int e = DirectTable[(window & 0xFFFF) >> (16 - TableBits)];
    if (e >= SymbolCount) {
        unsigned mask = 1u << (15 - TableBits);
        do {
            e = TreeNodes[e][(window & mask) ? 1 : 0];
            mask >>= 1;
        } while (e >= SymbolCount);
    }
    symbol = e;
    return CodeLengths[e];
}
