#include "StreamLH5.h"

#include "CanonicalCode.h"

#include <algorithm>
#include <set>
#include <stdexcept>

int Below(Rng& rng, int n) {
    return static_cast<int>(rng() % static_cast<uint32_t>(n));
}

// ---------------------------------------------------------------------------
// Writing compressed streams

Token Lit(int byte) {
    return Token{0, 0, static_cast<unsigned char>(byte)};
}
Token Match(int length, int distance) {
    return Token{length, distance, 0};
}

int CharSymbol(const Token& t) {
    return t.Length > 0 ? 253 + t.Length : t.Byte;
}

// 0 and 1 stand for themselves; p from 2 to 13 covers 2^(p-1) to 2^p - 1.
int PositionSymbol(int distance) {
    if (distance < 2)
        return distance;
    int p = 0;
    while ((distance >> p) > 0)
        ++p;
    return p;
}

// The reference: what the symbols expand to, with spaces before the first
// byte, continuing after `history`.
std::string Expand(const std::vector<Token>& tokens, std::string out) {
    for (const Token& t : tokens) {
        if (t.Length == 0) {
            out += static_cast<char>(t.Byte);
            continue;
        }
        for (int i = 0; i < t.Length; ++i) {
            const long long from = static_cast<long long>(out.size()) - t.Distance - 1;
            out += from >= 0 ? out[static_cast<size_t>(from)] : ' ';
        }
    }
    return out;
}

CodeForm Constant(int symbol) {
    CodeForm c;
    c.Constant = true;
    c.Symbol = symbol;
    return c;
}
CodeForm WithLengths(const std::vector<int>& lengths) {
    CodeForm c;
    c.Lengths = lengths;
    return c;
}

// A complete code over the symbols used (and one more when only one is
// used): the same length for all, or one shorter for some; or, with a
// random source, a random complete code of at most 16 bits on them and
// sometimes on a few unused symbols too.
std::vector<int> MakeLengths(std::set<int> used, int count, Rng* rng) {
    if (rng != nullptr && Below(*rng, 3) == 0)
        for (int extra = Below(*rng, 6); extra > 0; --extra)
            used.insert(Below(*rng, count));
    for (int s = 0; used.size() < 2; ++s)
        used.insert(s);
    const int m = static_cast<int>(used.size());
    std::vector<int> depths;
    if (rng == nullptr) {
        int k = 0;
        while ((1 << k) < m)
            ++k;
        const int shorter = (1 << k) - m;
        for (int i = 0; i < m; ++i)
            depths.push_back(i < shorter ? k - 1 : k);
    } else {
        const bool deep = Below(*rng, 2) == 0;
        depths.assign(2, 1);
        while (static_cast<int>(depths.size()) < m) {
            size_t pick = static_cast<size_t>(Below(*rng, static_cast<int>(depths.size())));
            if (deep && Below(*rng, 3) != 0)
                pick = static_cast<size_t>(std::max_element(depths.begin(), depths.end()) -
                                           depths.begin());
            if (depths[pick] >= 16)
                pick = static_cast<size_t>(std::min_element(depths.begin(), depths.end()) -
                                           depths.begin());
            ++depths[pick];
            depths.push_back(depths[pick]);
        }
        std::shuffle(depths.begin(), depths.end(), *rng);
    }
    std::vector<int> lengths(static_cast<size_t>(count), 0);
    size_t i = 0;
    for (int s : used)
        lengths[static_cast<size_t>(s)] = depths[i++];
    return lengths;
}

// A code length of the pre-code or the position code: 0 to 6 in three bits;
// 7 and up as 7 followed by (length - 7) one-bits and a zero.
void PutCodeLength(BitWriter& bw, int length) {
    if (length < 7) {
        bw.Put(static_cast<uint32_t>(length), 3);
        return;
    }
    bw.Put(7, 3);
    bw.PutOnes(length - 7);
    bw.PutBit(0);
}

namespace {

int CountField(const CodeForm& form, const std::vector<int>& lengths) {
    if (form.Count >= 0)
        return form.Count;
    int n = 0;
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0)
            n = static_cast<int>(i) + 1;
    return n;
}

} // namespace

std::vector<Item> LengthItems(const std::vector<int>& lengths, int n) {
    std::vector<Item> items;
    int i = 0;
    while (i < n) {
        if (lengths[static_cast<size_t>(i)] != 0) {
            items.push_back(Item{lengths[static_cast<size_t>(i)] + 2, 0});
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < n && lengths[static_cast<size_t>(i + run)] == 0)
            ++run;
        while (run > 0) {
            int k;
            if (run <= 2 || run == 19) {
                items.push_back(Item{0, 0});
                k = 1;
            } else if (run <= 18) {
                items.push_back(Item{1, run - 3});
                k = run;
            } else {
                k = std::min(run, 531);
                items.push_back(Item{2, k - 20});
            }
            run -= k;
            i += k;
        }
    }
    return items;
}

void PutPreCode(BitWriter& bw, const CodeForm& form, const std::vector<int>& lengths) {
    if (form.Constant) {
        bw.Put(0, 5);
        bw.Put(static_cast<uint32_t>(form.Symbol), 5);
        return;
    }
    const int n = CountField(form, lengths);
    bw.Put(static_cast<uint32_t>(n), 5);
    int i = 0;
    while (i < n) {
        if (i == 3) {
            int run = form.Run;
            if (run < 0)
                for (run = 0; run < 3 && lengths[static_cast<size_t>(3 + run)] == 0;)
                    ++run;
            bw.Put(static_cast<uint32_t>(run), 2);
            if (run > 0) {
                i = 3 + run;
                continue;
            }
        }
        PutCodeLength(bw, lengths[static_cast<size_t>(i)]);
        ++i;
    }
}

void PutItems(BitWriter& bw, const CodeForm& pre, const std::vector<int>& preLengths,
              const std::vector<Item>& items) {
    const std::vector<uint32_t> codes = CanonicalCodes(preLengths);
    for (const Item& item : items) {
        if (pre.Constant) {
            if (item.T != pre.Symbol)
                throw std::logic_error("item not coded by the constant pre-code");
        } else {
            bw.Put(codes[static_cast<size_t>(item.T)], preLengths[static_cast<size_t>(item.T)]);
        }
        if (item.T == 1)
            bw.Put(static_cast<uint32_t>(item.Extra), 4);
        else if (item.T == 2)
            bw.Put(static_cast<uint32_t>(item.Extra), 9);
    }
}

void PutPositionCode(BitWriter& bw, const CodeForm& form, const std::vector<int>& lengths) {
    if (form.Constant) {
        bw.Put(0, 4);
        bw.Put(static_cast<uint32_t>(form.Symbol), 4);
        return;
    }
    const int n = CountField(form, lengths);
    bw.Put(static_cast<uint32_t>(n), 4);
    for (int i = 0; i < n; ++i)
        PutCodeLength(bw, lengths[static_cast<size_t>(i)]);
}

namespace {

// One block: its header with the three codes, then its symbols; `ends`, if
// given, receives the stream's bit count after each symbol.
void PutBlock(BitWriter& bw, const Block& b, Rng* rng, std::vector<long long>* ends) {
    std::set<int> charUsed, posUsed;
    for (const Token& t : b.Tokens) {
        charUsed.insert(CharSymbol(t));
        if (t.Length > 0)
            posUsed.insert(PositionSymbol(t.Distance));
    }
    const int announced = b.Announced >= 0 ? b.Announced : static_cast<int>(b.Tokens.size());
    bw.Put(static_cast<uint32_t>(announced), 16);

    std::vector<int> charLengths, preLengths, posLengths;
    std::vector<Item> items;
    if (!b.Char.Constant) {
        charLengths = b.Char.Lengths.empty() ? MakeLengths(charUsed, 510, rng) : b.Char.Lengths;
        items = LengthItems(charLengths, CountField(b.Char, charLengths));
    }
    if (!b.Pre.Constant) {
        std::set<int> preUsed;
        for (const Item& item : items)
            preUsed.insert(item.T);
        preLengths = b.Pre.Lengths.empty() ? MakeLengths(preUsed, 19, rng) : b.Pre.Lengths;
    }
    if (!b.Pos.Constant)
        posLengths = b.Pos.Lengths.empty() ? MakeLengths(posUsed, 14, rng) : b.Pos.Lengths;

    PutPreCode(bw, b.Pre, preLengths);
    if (b.Char.Constant) {
        bw.Put(0, 9);
        bw.Put(static_cast<uint32_t>(b.Char.Symbol), 9);
    } else {
        bw.Put(static_cast<uint32_t>(CountField(b.Char, charLengths)), 9);
        PutItems(bw, b.Pre, preLengths, items);
    }
    PutPositionCode(bw, b.Pos, posLengths);

    const std::vector<uint32_t> charCodes = CanonicalCodes(charLengths);
    const std::vector<uint32_t> posCodes = CanonicalCodes(posLengths);
    for (const Token& t : b.Tokens) {
        const int c = CharSymbol(t);
        if (b.Char.Constant) {
            if (c != b.Char.Symbol)
                throw std::logic_error("token not coded by the constant character code");
        } else {
            if (charLengths[static_cast<size_t>(c)] == 0)
                throw std::logic_error("token without a character code");
            bw.Put(charCodes[static_cast<size_t>(c)], charLengths[static_cast<size_t>(c)]);
        }
        if (t.Length == 0) {
            if (ends != nullptr)
                ends->push_back(bw.Bits());
            continue;
        }
        const int p = PositionSymbol(t.Distance);
        if (b.Pos.Constant) {
            if (p != b.Pos.Symbol)
                throw std::logic_error("distance not coded by the constant position code");
        } else {
            if (posLengths[static_cast<size_t>(p)] == 0)
                throw std::logic_error("distance without a position code");
            bw.Put(posCodes[static_cast<size_t>(p)], posLengths[static_cast<size_t>(p)]);
        }
        if (p >= 2)
            bw.Put(static_cast<uint32_t>(t.Distance - (1 << (p - 1))), p - 1);
        if (ends != nullptr)
            ends->push_back(bw.Bits());
    }
}

} // namespace

std::string Encode(const std::vector<Block>& blocks, Rng* rng, std::vector<long long>* ends) {
    BitWriter bw;
    for (const Block& b : blocks)
        PutBlock(bw, b, rng, ends);
    return bw.Data();
}

std::vector<Token> AllTokens(const std::vector<Block>& blocks) {
    std::vector<Token> all;
    for (const Block& b : blocks)
        all.insert(all.end(), b.Tokens.begin(), b.Tokens.end());
    return all;
}

// Random symbols that expand to exactly `bytes` bytes: literals from a small
// or the full alphabet, and matches of every length reaching near and far.
std::vector<Token> RandomTokens(Rng& rng, int bytes) {
    std::vector<Token> tokens;
    const bool small = Below(rng, 2) == 0;
    int produced = 0;
    while (produced < bytes) {
        const int left = bytes - produced;
        if (left >= 3 && Below(rng, 100) < 40) {
            int length = 3 + (Below(rng, 2) ? Below(rng, 8) : Below(rng, 254));
            length = std::min(length, left);
            int distance;
            switch (Below(rng, 4)) {
            case 0:
                distance = Below(rng, 8);
                break;
            case 1:
                distance = 8191 - Below(rng, 16);
                break;
            default:
                distance = Below(rng, 8192);
                break;
            }
            tokens.push_back(Match(length, distance));
            produced += length;
        } else {
            tokens.push_back(Lit(small ? 'a' + Below(rng, 5) : Below(rng, 256)));
            ++produced;
        }
    }
    return tokens;
}

// A stream of a few blocks with random symbols and random codes; some blocks
// have a constant character or position code. The last block may announce
// more symbols than the member needs.
std::vector<Block> RandomBlocks(Rng& rng) {
    std::vector<Block> blocks(static_cast<size_t>(1 + Below(rng, 4)));
    for (Block& b : blocks) {
        const int kind = Below(rng, 8);
        if (kind == 0) {
            // One literal over and over: a constant character code.
            const int byte = Below(rng, 256);
            b.Tokens.assign(static_cast<size_t>(1 + Below(rng, 300)), Lit(byte));
            b.Char = Constant(byte);
            b.Pre = Constant(Below(rng, 19));
            b.Pos = Below(rng, 2) ? Constant(Below(rng, 14)) : CodeForm();
        } else if (kind == 1) {
            // One match length and position symbol: constant codes, extra bits.
            const int length = 3 + Below(rng, 254);
            const int p = Below(rng, 14);
            for (int i = 1 + Below(rng, 100); i > 0; --i) {
                const int distance = p < 2 ? p : (1 << (p - 1)) + Below(rng, 1 << (p - 1));
                b.Tokens.push_back(Match(length, distance));
            }
            b.Char = Constant(253 + length);
            b.Pre = Constant(Below(rng, 19));
            b.Pos = Constant(p);
        } else {
            b.Tokens = RandomTokens(rng, 1 + Below(rng, 12000));
            if (Below(rng, 6) == 0) {
                bool literalsOnly = true;
                for (const Token& t : b.Tokens)
                    literalsOnly = literalsOnly && t.Length == 0;
                if (literalsOnly)
                    b.Pos = Constant(Below(rng, 14));
            }
        }
    }
    blocks.back().Announced = static_cast<int>(blocks.back().Tokens.size()) + Below(rng, 100);
    return blocks;
}

TestMember Packed(const std::string& name, const std::string& packed, const std::string& data) {
    TestMember m;
    m.Name = name;
    m.Method = "-lh5-";
    m.UsePacked = true;
    m.Packed = packed;
    m.Data = data;
    return m;
}

// A level-2 member whose size field says `size` while its CRC is that of
// m.Data.
std::string MemberWithSize(const TestMember& m, uint32_t size) {
    std::string header = MemberHeaderBytes(m);
    for (int i = 0; i < 4; ++i)
        header[static_cast<size_t>(11 + i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
    ResealLevel2(header);
    return header + m.Packed;
}

Block OneBlock(const std::vector<Token>& tokens) {
    Block b;
    b.Tokens = tokens;
    return b;
}
