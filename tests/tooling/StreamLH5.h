// Writes -lh5- compressed streams bit by bit, for tests and fuzzing seeds:
// blocks of symbols with each of their three codes sent as a constant, with
// given lengths, or with lengths made for the symbols used; and the plain
// LZ77 expansion of the symbols, which is what a decoder must make of them.
// It shares no code with the engine's decoder or with lzhpack's encoder.
#pragma once

#include "ArchiveBuilder.h"

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

typedef std::mt19937 Rng;

// A number from 0 to n - 1.
int Below(Rng& rng, int n);

// Bits most significant first; the last byte is padded with zero bits.
class BitWriter {
  public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            PutBit((value >> i) & 1);
    }
    void PutBit(uint32_t bit) {
        if (Used % 8 == 0)
            Bytes.push_back(0);
        if (bit)
            Bytes.back() =
                static_cast<char>(static_cast<unsigned char>(Bytes.back()) | (0x80u >> (Used % 8)));
        ++Used;
    }
    void PutOnes(int count) {
        for (int i = 0; i < count; ++i)
            PutBit(1);
    }
    const std::string& Data() const { return Bytes; }
    long long Bits() const { return static_cast<long long>(Used); }

  private:
    std::string Bytes;
    size_t Used = 0;
};
// One symbol of the data: a literal byte, or a match of Length bytes copied
// from Distance + 1 bytes back.
struct Token {
    int Length; // 0 for a literal
    int Distance;
    unsigned char Byte;
};
Token Lit(int byte);
Token Match(int length, int distance);

// The character/length symbol of a token, and the position symbol of a
// distance.
int CharSymbol(const Token& t);
int PositionSymbol(int distance);

// The reference: what the symbols expand to, with spaces before the first
// byte, continuing after `out`.
std::string Expand(const std::vector<Token>& tokens, std::string out = std::string());

// How one of the three codes of a block is sent.
struct CodeForm {
    bool Constant = false;
    int Symbol = 0;           // the constant symbol
    std::vector<int> Lengths; // explicit lengths; empty: made for the symbols used
    int Count = -1;           // the count field; -1: one past the last length above 0
    int Run = -1;             // pre-code only, the 2-bit field; -1: the zeros at entries 3 to 5
};
CodeForm Constant(int symbol);
CodeForm WithLengths(const std::vector<int>& lengths);

struct Block {
    std::vector<Token> Tokens;
    int Announced = -1; // the symbol count field; -1: the number of tokens
    CodeForm Pre, Char, Pos;
};
Block OneBlock(const std::vector<Token>& tokens);

// The parts of a block header, for streams written piece by piece.

// A code length of the pre-code or the position code: 0 to 6 in three bits;
// 7 and up as 7 followed by (length - 7) one-bits and a zero.
void PutCodeLength(BitWriter& bw, int length);

// A complete code over the symbols used (and one more when only one is
// used); with rng, a random complete code of at most 16 bits.
std::vector<int> MakeLengths(std::set<int> used, int count, Rng* rng);

// A character/length length list as pre-code symbols: t = length + 2 for a
// length; runs of zeros as t = 0 (one), t = 1 and 4 bits (3 to 18), t = 2
// and 9 bits (20 to 531).
struct Item {
    int T;
    int Extra;
};

// The first n character/length lengths as pre-code items.
std::vector<Item> LengthItems(const std::vector<int>& lengths, int n);

// The pre-code's count and lengths; the items in the pre-code; the position
// code's count and lengths.
void PutPreCode(BitWriter& bw, const CodeForm& form, const std::vector<int>& lengths);
void PutItems(BitWriter& bw, const CodeForm& pre, const std::vector<int>& preLengths,
              const std::vector<Item>& items);
void PutPositionCode(BitWriter& bw, const CodeForm& form, const std::vector<int>& lengths);

// The stream of the blocks, with lengths made for the symbols used (random
// complete codes when rng is given); the last byte is padded with zero bits.
// `ends`, if given, receives the stream's bit count after each symbol.
// Throws std::logic_error for a token that its block's codes cannot send.
std::string Encode(const std::vector<Block>& blocks, Rng* rng = nullptr,
                   std::vector<long long>* ends = nullptr);
std::vector<Token> AllTokens(const std::vector<Block>& blocks);

// Random symbols that expand to exactly `bytes` bytes, and a few blocks of
// them with random codes.
std::vector<Token> RandomTokens(Rng& rng, int bytes);
std::vector<Block> RandomBlocks(Rng& rng);

// A -lh5- member of the packed stream, whose header carries the size and CRC
// of `data`; and one whose size field says `size` instead.
TestMember Packed(const std::string& name, const std::string& packed, const std::string& data);
std::string MemberWithSize(const TestMember& m, uint32_t size);
