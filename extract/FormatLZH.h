// The LZH format in numbers, for the engine that reads it and for lzhpack,
// which writes it: each number stands here once.
#pragma once

// -lh5-: LZ77 over a ring of the output so far, coded with static Huffman
// codes sent anew at the start of every block. A block's header gives its
// symbol count, then three codes, each as a count and a list of code lengths
// (or a count of 0 and one constant symbol): the pre-code, which codes the
// character/length code's lengths; the character/length code; the position
// code. A match symbol is followed by a position symbol and its extra bits.
enum {
    RingSize = 0x4000,  // the output history a decoder keeps
    MaxDistance = 8192, // a match copies from 1 to 8,192 bytes back
    MinMatch = 3,
    MaxMatch = 256,
    LiteralCount = 256,  // character/length symbols 0 to 255 are bytes
    CharCodeCount = 510, // then the match lengths 3 to 256
    PreCodeCount = 19,   // lengths 0 to 16, and three kinds of zero run
    PosCodeCount = 14,   // distance classes: 0, 1, then 2^(p-1) to 2^p - 1
    MaxCodeBits = 16,    // the longest code of all three
    BlockCountBits = 16, // the count fields of a block header, in
    PreCountBits = 5,    // stream order
    CharCountBits = 9,
    PosCountBits = 4,
    PreZeroRunIndex = 3, // where the pre-code's 2-bit run of zero lengths stands
    LengthEscape = 7     // a code length of 7 or more: 7, then one-bits and a zero
};

// Member headers: offsets from a header's first byte.
enum {
    HeaderMethodAt = 2,
    MethodLength = 5, // "-lh5-"
    HeaderPackedSizeAt = 7,
    HeaderOriginalSizeAt = 11,
    HeaderTimeAt = 15,
    HeaderLevelAt = 20,
    Level01NameLengthAt = 21, // levels 0 and 1: the name's length, then the name
    Level01NameAt = 22,
    Level2DataCrcAt = 21, // level 2: the data's CRC-16, the system, the
    Level2SystemAt = 23,  // size of the first extended header
    Level2FirstExtensionAt = 24,
    MinHeaderSize = 22 // no header is smaller
};

// Extended headers (levels 1 and 2): size, type, data.
enum {
    ExtHeaderCrc = 0x00,    // the header's CRC-16, taken with this field as 0
    ExtFileName = 0x01,     // the member's name
    ExtWindowsTimes = 0x41, // creation, last-write and last-access FILETIMEs
    ExtUnixTime = 0x54      // the last-write time in seconds since 1970
};
