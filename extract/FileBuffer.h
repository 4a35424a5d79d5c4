// Buffered file stream of the extraction engine, with the bit input that the
// -lh5- decoder reads its codes from.
#pragma once

#include "Platform.h"

// The operating system reported a failed read, write or seek.
class CFileException {};

// The compressed data is not what the archive promised: it ends early or its
// codes are inconsistent.
class CExceptionLZH {};

class CFileBuffer {
  public:
    enum { BufferSize = 0x4000 };

    CFileBuffer();
    ~CFileBuffer();
    CFileBuffer(const CFileBuffer&) = delete;
    CFileBuffer& operator=(const CFileBuffer&) = delete;

    bool OpenRead(const char* path);
    // Creates a new file; an existing one is never opened or changed.
    bool Create(const char* path);
    void Close();
    bool IsOpen() const { return FileHandle != INVALID_HANDLE_VALUE; }

    // Raw access that bypasses IoBuffer, for reading member headers. The next
    // SetMemberData brings the buffer back in step with the file.
    int ReadRaw(void* destination, int count);
    bool MoveTo(long long offset);

    // Input side: a member's compressed data and the bit input over it.
    // Positions in the file are 64-bit: a member whose header starts below
    // 2 GiB may have its data beyond.
    void SetMemberData(long long offset, int size);
    inline void FillBits(int n);
    inline unsigned GetBits(int n);
    unsigned PeekBits() const { return static_cast<unsigned>(BitBuffer >> BitCount) & 0xFFFF; }
    // For a decoder that reads a whole symbol before it consumes any of it:
    // HoldBits(spare) makes sure that at least `spare` bits (up to 38) wait
    // below the window, taking bytes from the buffer; false, with nothing
    // consumed, when that needs bytes the buffer does not hold yet. After a
    // true result, PeekBitsAfter(skip) is the window `skip` bits further on
    // and SkipBits(n) consumes n bits, for skip and n up to `spare`.
    inline bool HoldBits(int spare);
    unsigned PeekBitsAfter(int skip) const {
        return static_cast<unsigned>(BitBuffer >> (BitCount - skip)) & 0xFFFF;
    }
    void SkipBits(int n) { BitCount -= n; }
    int Read(void* destination, int count);

    // Output side.
    int Write(const void* source, int count);
    void Flush();

    // Open to the owner: the engine sets an output file's times through it.
    HANDLE FileHandle;

    // Bits that the decoder may consume past the end of a member's data
    // before the member counts as cut short. The window's look-ahead reads
    // zero bits there freely; consuming them is another matter.
    enum { SlackBitsPastData = 16 };

  private:
    bool Open(const char* path, DWORD access, DWORD disposition);
    void Refill();
    void FeedZeroByte();
    inline void TopUpBits();
    inline void TakeBytesAhead();
    void TopUpBitsByteByByte();

    unsigned char* IoBuffer;
    int FillCount;          // input: valid bytes in IoBuffer
    long long BufferOffset; // input: file offset of IoBuffer[0]
    int Cursor;             // input: next unread byte; output: bytes waiting
    long long DataEnd;      // input: file offset just past the member's data
    // The 16-bit window and BitCount spare bits below it, at most 63 bits in
    // all; the bits above the window are spent and never looked at.
    unsigned long long BitBuffer;
    int BitCount;  // spare bits below the 16-bit window, 0 to 47 between calls
    int ZeroBytes; // zero bytes fed in past the end of the member's data
};

// Consumes n bits (0 to 17) and tops the 16-bit window up again. Past the
// end of the member's data the window fills with zero bits.
inline void CFileBuffer::FillBits(int n) {
    BitCount -= n;
    if (BitCount < 0)
        TopUpBits();
}

// While eight bytes or more wait in the buffer, the bits are topped up from
// them several bytes at a time. Near the end of the buffer the bytes are
// taken one at a time, only as the window needs them, so that the buffer is
// refilled, and zero bytes are fed past the data, exactly when the window
// reaches them: a read that fails, a file that ends early or codes that run
// past the data fail the same call whichever way the bytes came in.
inline void CFileBuffer::TopUpBits() {
    if (FillCount - Cursor < 8)
        TopUpBitsByteByByte();
    else
        TakeBytesAhead();
}

inline bool CFileBuffer::HoldBits(int spare) {
    if (BitCount >= spare)
        return true;
    if (FillCount - Cursor < 8)
        return false;
    TakeBytesAhead();
    return true;
}

// With eight bytes or more in the buffer and BitCount from -17 to 38, takes
// as many whole bytes as fit below the window: afterwards BitCount is 39 to
// 46, and window and spare bits together at most 62.
inline void CFileBuffer::TakeBytesAhead() {
    const unsigned char* p = IoBuffer + Cursor;
    const unsigned long long next =
        static_cast<unsigned long long>(p[0]) << 56 | static_cast<unsigned long long>(p[1]) << 48 |
        static_cast<unsigned long long>(p[2]) << 40 | static_cast<unsigned long long>(p[3]) << 32 |
        static_cast<unsigned long long>(p[4]) << 24 | static_cast<unsigned long long>(p[5]) << 16 |
        static_cast<unsigned long long>(p[6]) << 8 | static_cast<unsigned long long>(p[7]);
    const int bytes = (46 - BitCount) >> 3;
    BitBuffer = BitBuffer << (8 * bytes) | next >> (64 - 8 * bytes);
    BitCount += 8 * bytes;
    Cursor += bytes;
}

// The next n bits (1 to 16), first bit most significant.
inline unsigned CFileBuffer::GetBits(int n) {
    const unsigned window = PeekBits();
    FillBits(n);
    return window >> (16 - n);
}
