// A second -lh5- decoder, written for the fuzz target from the format's
// rules alone and kept as plain as possible: a bit position instead of a bit
// buffer, a canonical-code lookup length by length instead of tables, the whole output
// as history instead of a ring. It shares no code with the engine, so a
// member the engine completed must come out of it byte for byte the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reference {

// The member's compressed bytes, most significant bit first; zero bits past
// their end, of which at most SlackBits may be consumed: a member whose
// codes go on further is cut short.
const size_t SlackBits = 16;

class BitReader {
  public:
    BitReader(const unsigned char* data, size_t size) : Data(data), Size(size), Position(0) {}

    bool Overrun() const { return Position > Size * 8 + SlackBits; }

    unsigned Peek16() const {
        unsigned w = 0;
        for (int i = 0; i < 16; ++i)
            w = (w << 1) | Bit(Position + static_cast<size_t>(i));
        return w;
    }
    void Skip(int n) { Position += static_cast<size_t>(n); }
    unsigned Get(int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | Bit(Position + static_cast<size_t>(i));
        Position += static_cast<size_t>(n);
        return v;
    }

  private:
    unsigned Bit(size_t at) const {
        const size_t byte = at / 8;
        if (byte >= Size)
            return 0;
        return (Data[byte] >> (7 - at % 8)) & 1u;
    }

    const unsigned char* Data;
    size_t Size;
    size_t Position; // in bits
};

// A canonical prefix code of at most 16 bits, or a constant symbol of no bits.
// Codes are handed out in order of length, then of symbol, counting up from 0.
class Code {
  public:
    // False when the lengths (0 to 16) do not fill the 16-bit code space
    // exactly.
    bool Build(const std::vector<int>& lengths) {
        Constant = -1;
        Sorted.clear();
        for (int& c : Counts)
            c = 0;
        long long space = 0;
        for (int length : lengths) {
            if (length < 0 || length > 16)
                return false;
            if (length > 0) {
                ++Counts[length];
                space += 1LL << (16 - length);
            }
        }
        for (int len = 1; len <= 16; ++len)
            for (size_t s = 0; s < lengths.size(); ++s)
                if (lengths[s] == len)
                    Sorted.push_back(static_cast<int>(s));
        return space == 1LL << 16;
    }
    // A symbol outside the code yields symbol 0.
    void BuildConstant(int count, int symbol) { Constant = symbol < count ? symbol : 0; }

    // The symbol at the front of the window, and its length.
    int Decode(unsigned window, int& length) const {
        length = 0;
        if (Constant >= 0)
            return Constant;
        unsigned first = 0; // the first code of the current length
        size_t index = 0;   // its symbol's place in Sorted
        for (int len = 1; len <= 16; ++len) {
            const unsigned code = window >> (16 - len);
            const unsigned count = static_cast<unsigned>(Counts[len]);
            if (code >= first && code - first < count) {
                length = len;
                return Sorted[index + (code - first)];
            }
            index += count;
            first = (first + count) << 1;
        }
        return -1; // cannot happen with a complete code
    }

  private:
    int Constant = -1;
    int Counts[17] = {};
    std::vector<int> Sorted;
};

inline int ReadLength(BitReader& in) {
    int c = static_cast<int>(in.Get(3));
    if (c == 7) {
        const unsigned w = in.Peek16();
        int ones = 0;
        while (ones < 16 && ((w >> (15 - ones)) & 1u))
            ++ones;
        c += ones;
        in.Skip(ones + 1);
    }
    return c;
}

inline int DecodeSymbol(BitReader& in, const Code& code) {
    int length = 0;
    const int symbol = code.Decode(in.Peek16(), length);
    in.Skip(length);
    return symbol;
}

// Decodes a member of `unpacked` bytes from `data`: its output ends at that
// size, though the last match may run past it, and an empty member decodes
// nothing. False when the data are not valid or run out; `limit` bounds the
// output before it is cut at the size (a safety net for a wrong result).
inline bool Decode(const unsigned char* data, size_t size, long long unpacked, size_t limit,
                   std::string& out) {
    out.clear();
    if (unpacked <= 0)
        return true;
    BitReader in(data, size);
    Code charCode, positionCode, preCode;
    long long blockLeft = 0;
    long long remaining = unpacked;
    do {
        if (blockLeft <= 0) {
            blockLeft = in.Get(16);
            // Pre-code: 19 lengths, with a 2-bit run of zeros at index 3.
            int n = static_cast<int>(in.Get(5));
            if (n >= 20)
                return false;
            if (n == 0) {
                preCode.BuildConstant(19, static_cast<int>(in.Get(5)));
            } else {
                std::vector<int> lengths(19, 0);
                int i = 0;
                while (i < n) {
                    if (i == 3) {
                        const int run = static_cast<int>(in.Get(2));
                        if (run > 0) {
                            i = 3 + run;
                            continue;
                        }
                    }
                    lengths[static_cast<size_t>(i++)] = ReadLength(in);
                }
                if (!preCode.Build(lengths))
                    return false;
            }
            // Character/length code: 510 lengths coded with the pre-code;
            // a run past the end of the list is cut there.
            n = static_cast<int>(in.Get(9));
            if (n > 510)
                return false;
            if (n == 0) {
                charCode.BuildConstant(510, static_cast<int>(in.Get(9)));
            } else {
                std::vector<int> lengths(510, 0);
                int i = 0;
                while (i < n) {
                    const int t = DecodeSymbol(in, preCode);
                    if (t < 0)
                        return false;
                    if (t >= 3) {
                        lengths[static_cast<size_t>(i++)] = t - 2;
                        continue;
                    }
                    int run = 1;
                    if (t == 1)
                        run = static_cast<int>(in.Get(4)) + 3;
                    else if (t == 2)
                        run = static_cast<int>(in.Get(9)) + 20;
                    i += run; // the list is all zeros already
                }
                if (!charCode.Build(lengths))
                    return false;
            }
            // Position code: 14 lengths.
            n = static_cast<int>(in.Get(4));
            if (n > 14)
                return false;
            if (n == 0) {
                positionCode.BuildConstant(14, static_cast<int>(in.Get(4)));
            } else {
                std::vector<int> lengths(14, 0);
                for (int i = 0; i < n; ++i)
                    lengths[static_cast<size_t>(i)] = ReadLength(in);
                if (!positionCode.Build(lengths))
                    return false;
            }
        }
        const int symbol = DecodeSymbol(in, charCode);
        --blockLeft;
        if (symbol < 0)
            return false;
        if (symbol < 256) {
            out.push_back(static_cast<char>(symbol));
            --remaining;
        } else {
            const int length = symbol - 253;
            int p = DecodeSymbol(in, positionCode);
            if (p < 0)
                return false;
            const long long distance =
                p <= 1 ? p : (1LL << (p - 1)) + static_cast<long long>(in.Get(p - 1));
            // Each byte from distance + 1 bytes back; before the first byte
            // of the member lie spaces.
            for (int k = 0; k < length; ++k) {
                const long long from = static_cast<long long>(out.size()) - distance - 1;
                out.push_back(from < 0 ? ' ' : out[static_cast<size_t>(from)]);
            }
            remaining -= length;
        }
        if (in.Overrun() || out.size() > limit)
            return false;
    } while (remaining > 0);
    out.resize(static_cast<size_t>(unpacked));
    return true;
}

} // namespace reference
