// The LZH format in numbers, for the engine that reads it and for lzhpack,
// which writes it: each number stands here once.
#pragma once

// The methods a header may name. A method's MethodIndex is the place of its
// string in MethodNames; a header holds the five bytes without a
// terminator. The engine extracts -lh0- and -lz4- (both stored data) and
// -lh5-, and a folder entry, -lhd- (a header without data), as nothing:
// folders are not made, every member lands in the destination folder
// itself. It refuses the rest.
enum {
    MethodLH0,
    MethodLH1,
    MethodLH2,
    MethodLH3,
    MethodLH4,
    MethodLH5,
    MethodLZS,
    MethodLZ5,
    MethodLZ4,
    MethodDirectory,
    MethodCount
};
enum { MethodLength = 5 };
inline constexpr char MethodNames[MethodCount][MethodLength + 1] = {
    "-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-", "-lzs-", "-lz5-", "-lz4-", "-lhd-"};

// -lh5-: LZ77 over a ring of the output so far, coded with static Huffman
// codes sent anew at the start of every block. A block's header gives its
// symbol count, then three codes, each as a count and a list of code lengths
// (or a count of 0 and one constant symbol): the pre-code, which codes the
// character/length code's lengths; the character/length code; the position
// code. A match symbol is followed by a position symbol and its extra bits.
enum {
    RingSize = 0x4000,  // the output history a decoder keeps
    RingFill = 0x20,    // what it holds before the first byte: spaces
    MaxDistance = 8192, // a match copies from 1 to 8,192 bytes back
    MinMatch = 3,
    MaxMatch = 256,
    LiteralCount = 256,                 // character/length symbols 0 to 255 are bytes
    CharCodeCount = 510,                // then the match lengths 3 to 256
    PreCodeCount = 19,                  // lengths 0 to 16, and three kinds of zero run
    PosCodeCount = 14,                  // distance classes: 0, 1, then 2^(p-1) to 2^p - 1
    PosMaxExtraBits = PosCodeCount - 2, // class p >= 2 has p - 1 extra bits
    MaxCodeBits = 16,                   // the longest code of all three
    BlockCountBits = 16,                // the count fields of a block header, in
    PreCountBits = 5,                   // stream order
    CharCountBits = 9,
    PosCountBits = 4,
    PreZeroRunIndex = 3, // where the pre-code's run of 0 to 3 zero lengths stands,
    PreZeroRunBits = 2,  // in 2 bits
    // The lengths of the pre-code and the position code: 0 to 6 in 3 bits,
    // or 7 in 3 bits followed by one one-bit for each length above 7 and a
    // zero.
    CodeLengthBits = 3,
    LengthEscape = 7
};

// The pre-code's symbols, in which the character/length code's lengths are
// sent: a zero length, a run of 3 to 18 zeros (4 bits more), a run of 20 to
// 531 zeros (9 bits more), then the lengths 1 to 16.
enum {
    PreOneZero = 0,
    PreShortZeroRun = 1,
    ShortZeroRunBits = 4,
    ShortZeroRunMin = 3,
    PreLongZeroRun = 2,
    LongZeroRunBits = 9,
    LongZeroRunMin = 20,
    PreLengthBase = 2 // symbol s above PreLongZeroRun is the length s - 2
};

// Member headers: offsets from a header's first byte.
enum {
    Level01HeadBytes = 2, // levels 0 and 1: the size S of the rest and its byte sum
    HeaderMethodAt = 2,
    HeaderPackedSizeAt = 7,
    HeaderOriginalSizeAt = 11,
    HeaderTimeAt = 15,
    HeaderLevelAt = 20,
    Level01NameLengthAt = 21, // levels 0 and 1: the name's length, then the name
    Level01NameAt = 22,
    Level2DataCrcAt = 21, // level 2: the data's CRC-16, the system, the
    Level2SystemAt = 23,  // size of the first extended header
    Level2FirstExtensionAt = 24,
    MinHeaderSize = 22, // no header is smaller
    CrcSize = 2         // a CRC-16 in a header: the data's, the header's own
};

// Extended headers (levels 1 and 2). Each one is its type (1 byte), its data
// and the size of the next one (2 bytes, 0 after the last); its own size,
// which stands before it (the first one's at the end of a level-1 base
// header, at Level2FirstExtensionAt in a level-2 header), counts all three.
enum {
    ExtSizeBytes = 2,
    ExtFrameSize = 1 + ExtSizeBytes, // an extended header's size less its data
    ExtHeaderCrc = 0x00,             // the header's CRC-16, taken with this field as 0
    ExtFileName = 0x01,              // the member's name
    ExtWindowsTimes = 0x41,          // creation, last-write and last-access FILETIMEs
    ExtWindowsTimesSize = 3 * 8,
    ExtUnixTime = 0x54, // the last-write time in seconds since 1970
    ExtUnixTimeSize = 4
};
