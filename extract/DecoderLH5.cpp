// The -lh5- decoder: LZ77 over a 16,384-byte ring, with static Huffman codes
// sent anew in every block. One step decodes one symbol.
#include "ExtractorLZH.h"

#include <cstring>

namespace {

// How the entries of a length list are coded: each one as ReadCodeLength
// reads it, with a run of zeros in 2 bits at one index (the pre-code,
// PreZeroRunIndex) or none (the position code); or each through the
// pre-code, whose first symbols are runs of zeros (the character code).
enum { NoZeroRun = -1, ZeroRunsInPreCode = -2 };

// Copies byte by byte upwards, so that a match shorter in distance than in
// length repeats its last bytes, as the format requires.
inline void CopyForward(unsigned char* destination, const unsigned char* source, int count) {
    if (destination > source && destination - source < count) {
        for (int i = 0; i < count; ++i)
            destination[i] = source[i];
    } else {
        std::memmove(destination, source, static_cast<size_t>(count));
    }
}

// A match that stays inside the ring, source and destination. Eight bytes
// at a time when the source lies at least eight bytes back, which gives the
// same bytes as a copy one at a time, and at least sixteen bytes, which
// covers most matches without a loop; a run of one byte eight at a time too.
// The up to thirteen bytes written past the match fall on ring positions
// ahead of the output position, which no match reads (they are more than
// 8192 bytes back) before they are written again, or into the slack behind
// the ring.
inline void CopyInsideRing(unsigned char* d, const unsigned char* s, int length, int distance) {
    if (distance >= 7) {
        std::memcpy(d, s, 8);
        std::memcpy(d + 8, s + 8, 8);
        for (int i = 16; i < length; i += 8)
            std::memcpy(d + i, s + i, 8);
    } else if (distance == 0) {
        const unsigned long long fill = 0x0101010101010101ULL * *s;
        for (int i = 0; i < length; i += 8)
            std::memcpy(d + i, &fill, 8);
    } else {
        for (int i = 0; i < length; ++i)
            d[i] = s[i];
    }
}

// Position symbol p is the distance itself when 0 or 1, else a one bit
// followed by the next p - 1 bits of the stream: both are the top p bits of
// a one bit put before the 16-bit window that follows the symbol's code.
inline int DistanceOf(int p, unsigned window) {
    return static_cast<int>((0x10000u | window) >> (17 - p));
}

inline int ExtraBitsOf(int p) {
    return p > 1 ? p - 1 : 0;
}

} // namespace

// A length of 0 to 6 in three bits, or 7 and up as 7 followed by a run of
// one-bits ended by a zero. Corrupt data can give up to 23; the table build
// refuses anything above 16.
int CExtractorLZH::ReadCodeLength(CFileBuffer& in) {
    int c = static_cast<int>(in.GetBits(CodeLengthBits));
    if (c == LengthEscape) {
        unsigned window = in.PeekBits();
        while (window & 0x8000) {
            ++c;
            window = (window << 1) & 0xFFFF;
        }
        in.FillBits(c - 6);
    }
    return c;
}

// The next entry of a length list at index i: a run of zeros, whose length
// is returned, or one length, in `length`, when 0 is returned.
int CExtractorLZH::ReadListEntry(CFileBuffer& in, int i, int zeroRunAt, int& length) {
    if (zeroRunAt == ZeroRunsInPreCode) {
        int t;
        in.FillBits(PosTable.Decode(in.PeekBits(), t));
        length = t - PreLengthBase;
        switch (t) {
        case PreOneZero:
            return 1;
        case PreShortZeroRun:
            return static_cast<int>(in.GetBits(ShortZeroRunBits)) + ShortZeroRunMin;
        case PreLongZeroRun:
            return static_cast<int>(in.GetBits(LongZeroRunBits)) + LongZeroRunMin;
        default:
            return 0;
        }
    }
    if (i == zeroRunAt) {
        const int run = static_cast<int>(in.GetBits(PreZeroRunBits));
        if (run > 0)
            return run;
    }
    length = ReadCodeLength(in);
    return 0;
}

// One code of a block header into `table`: a count of countBits bits; after
// a count of 0 one constant symbol of as many bits, else that many entries
// of the list of `count` lengths, the rest of it 0. A zero run that would
// reach past the list (only in corrupt data) is clipped at its end.
void CExtractorLZH::ReadLengthList(CFileBuffer& in, CHuffmanTable& table, int count, int countBits,
                                   int zeroRunAt) {
    const int bits = count == CharCodeCount ? CharTableBits : SmallTableBits;
    const int n = static_cast<int>(in.GetBits(countBits));
    if (n > count)
        throw CExceptionLZH();
    if (n == 0) {
        table.BuildConstant(count, bits, static_cast<int>(in.GetBits(countBits)));
        return;
    }
    int lengths[CharCodeCount];
    int i = 0;
    while (i < n) {
        int length;
        const int run = ReadListEntry(in, i, zeroRunAt, length);
        if (run == 0) {
            lengths[i++] = length;
            continue;
        }
        const int end = i + run < count ? i + run : count;
        for (; i < end; ++i)
            lengths[i] = 0;
    }
    for (; i < count; ++i)
        lengths[i] = 0;
    table.Build(count, bits, lengths);
}

// Once per block, out of the step's hot path.
void CExtractorLZH::ReadBlockHeader(CFileBuffer& in) {
    BlockCount = static_cast<int>(in.GetBits(BlockCountBits));
    // PosTable holds the pre-code while the character code is read.
    ReadLengthList(in, PosTable, PreCodeCount, PreCountBits, PreZeroRunIndex);
    ReadLengthList(in, CodeTable, CharCodeCount, CharCountBits, ZeroRunsInPreCode);
    ReadLengthList(in, PosTable, PosCodeCount, PosCountBits, NoZeroRun);
}

// A block that announces 0 symbols still serves the one decoded right after
// its header; the next call reads another header.
inline int CExtractorLZH::DecodeChar(CFileBuffer& in) {
    if (BlockCount <= 0)
        ReadBlockHeader(in);
    int symbol;
    in.FillBits(CodeTable.Decode(in.PeekBits(), symbol));
    --BlockCount;
    return symbol;
}

inline int CExtractorLZH::DecodePosition(CFileBuffer& in) {
    int p;
    in.FillBits(PosTable.Decode(in.PeekBits(), p));
    const int distance = DistanceOf(p, in.PeekBits());
    in.FillBits(ExtraBitsOf(p));
    return distance;
}

// Hands the first `count` bytes of the ring to the CRC and the output, less
// any that lie past the member's size. The last match may run over the size;
// the bytes it made beyond it are the newest, so they stand at the end of
// what is handed over, and Remaining below 0 counts them. Once they reach
// further back than this hand-over, the one before cut them already.
void CExtractorLZH::EmitRing(CFileBuffer& out, int count) {
    if (Remaining < 0)
        count += Remaining;
    if (count <= 0)
        return;
    UpdateCrc(Window, count);
    if (out.IsOpen()) // else a job without a destination: checked, not kept
        out.Write(Window, count);
}

// Where a match `distance` + 1 bytes back starts in the ring.
// The ring's size is a power of two, so the position wraps by a mask.
inline int CExtractorLZH::RingSource(int distance) const {
    static_assert((WindowSize & (WindowSize - 1)) == 0, "the ring's size is a power of two");
    return (WindowPos - distance - 1) & (WindowSize - 1);
}

// `count` bytes of a match from ring position `source` on, one at a time;
// source follows.
inline void CExtractorLZH::CopyMatchPiece(int& source, int count) {
    CopyForward(Window + WindowPos, Window + source, count);
    WindowPos += count;
    Remaining -= count;
    source += count;
}

// A match whose copy neither reaches the end of the ring nor reads across
// it, for both ways of Step.
inline void CExtractorLZH::PutMatchInsideRing(int source, int length, int distance) {
    CopyInsideRing(Window + WindowPos, Window + source, length, distance);
    WindowPos += length;
    Remaining -= length;
}

// A match whose copy reaches the end of the ring or whose source runs over
// it: the general case.
void CExtractorLZH::CopyMatchAcrossRing(CFileBuffer& out, int length, int distance) {
    int source = RingSource(distance);
    if (WindowPos + length >= WindowSize) {
        // The copy completes the ring. Its source lies before it, since
        // WindowPos is at least 16,128.
        const int k = WindowSize - WindowPos;
        CopyMatchPiece(source, k);
        length -= k;
        WindowPos = 0;
        EmitRing(out, WindowSize);
    }
    if (source + length > WindowSize) {
        // The source runs over the end of the ring.
        const int k = WindowSize - source;
        CopyMatchPiece(source, k);
        length -= k;
        source = 0;
    }
    if (length > 0)
        CopyMatchPiece(source, length);
}

inline void CExtractorLZH::CopyMatch(CFileBuffer& out, int length, int distance) {
    const int source = RingSource(distance);
    if (WindowPos + length >= WindowSize || source + length > WindowSize)
        CopyMatchAcrossRing(out, length, distance);
    else
        PutMatchInsideRing(source, length, distance);
}

// The member's last symbol is done: what the ring holds goes out, and the
// output is flushed.
void CExtractorLZH::FinishLH5Member(CFileBuffer& out) {
    if (WindowPos > 0)
        EmitRing(out, WindowPos);
    out.Flush();
}

bool CExtractorLZH::DecodeLH5Step(CFileBuffer& in, CFileBuffer& out, bool& memberDone) {
    memberDone = false;
    const int c = DecodeChar(in);
    if (c < LiteralCount) {
        PutLiteral(c);
        if (WindowPos == WindowSize) {
            WindowPos = 0;
            EmitRing(out, WindowSize);
        }
    } else {
        const int length = c - LiteralCount + MinMatch;
        CopyMatch(out, length, DecodePosition(in));
    }
    if (Remaining <= 0) {
        FinishLH5Member(out);
        memberDone = true;
    }
    return true;
}

// The fast way of Step for a match, with its character/length entry: when
// both its codes are in the direct tables and its copy stays inside the
// ring, it is decoded as DecodeLH5Step would decode it; otherwise nothing
// has changed, and it goes the full way. A function of its own, so that
// Step's way for a literal needs few registers.
bool CExtractorLZH::StepCommonMatch(bool& done, unsigned charEntry) {
    if (CHuffmanTable::IsLongCode(charEntry))
        return StepInFull(done);
    // The most bits a match that the direct tables resolve takes: a length
    // code of up to 12 bits, a position code of up to 8 and up to 12 extra
    // bits. CommonSymbolAhead made sure of the length code's and of the 8
    // behind them that find the position code; the match's own count is
    // asked for once it is known.
    static_assert(CharTableBits + SmallTableBits + PosMaxExtraBits <= CFileBuffer::SpareBitsAhead,
                  "a whole common symbol fits the bits held");
    static_assert(SmallTableBits <= CharTableBits, "the position code's index is held");
    int used = CHuffmanTable::LengthOf(charEntry);
    const unsigned posEntry =
        PosTable.EntryAt(Archive.PeekBitsAfter(used) >> (16 - SmallTableBits));
    if (CHuffmanTable::IsLongCode(posEntry))
        return StepInFull(done);
    const int p = CHuffmanTable::SymbolOf(posEntry);
    used += CHuffmanTable::LengthOf(posEntry);
    if (!Archive.HoldBits(used + ExtraBitsOf(p)))
        return StepInFull(done);
    const int distance = DistanceOf(p, Archive.PeekBitsAfter(used));
    used += ExtraBitsOf(p);
    const int length = CHuffmanTable::SymbolOf(charEntry) - LiteralCount + MinMatch;
    const int source = RingSource(distance);
    if (source + length > WindowSize)
        return StepInFull(done);
    Archive.SkipBits(used);
    --BlockCount;
    PutMatchInsideRing(source, length, distance);
    done = false;
    return true;
}
