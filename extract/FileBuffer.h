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
    // The same, with the access that renaming the file and setting its
    // deletion through FileHandle need (DELETE).
    bool CreateTemporary(const char* path);
    // False when the system reports that closing failed; the handle is gone
    // either way. Does not flush.
    bool Close();
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
    unsigned PeekBits() const { return static_cast<unsigned>(BitBuffer >> 48); }
    // For a decoder that reads a whole symbol before it consumes any of it:
    // HoldBits(spare) makes sure that the window and at least `spare` bits
    // after it (up to SpareBitsAhead) are held, topping them up from the
    // buffer, and is false, having consumed nothing, when the buffer holds
    // too few bytes for that. After it, PeekBitsAfter(skip) is the window
    // `skip` bits further on and SkipBits(n) consumes n bits, for skip and n
    // up to `spare`; the window stays full.
    enum { SpareBitsAhead = 32 };
    inline bool HoldBits(int spare);
    unsigned PeekBitsAfter(int skip) const {
        return static_cast<unsigned>((BitBuffer << skip) >> 48);
    }
    void SkipBits(int n) {
        BitBuffer <<= n;
        BitsHeld -= n;
    }
    int Read(void* destination, int count);

    // Output side.
    int Write(const void* source, int count);
    void Flush();
    // Returns once what has been written is on the disk (FlushFileBuffers);
    // false when the system cannot do that.
    bool Commit();

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
    inline void TakeBytesAhead();
    void TakeBytesOneByOne();

    unsigned char* IoBuffer;
    int FillCount;          // input: valid bytes in IoBuffer
    long long BufferOffset; // input: file offset of IoBuffer[0]
    int Cursor;             // input: next unread byte; output: bytes waiting
    long long DataEnd;      // input: file offset just past the member's data
    // The bits taken from the file and not yet consumed, first bit in the
    // top bit: the 16-bit window, then spare bits. Below the BitsHeld bits
    // it holds zeros, or the first bits of the next byte of the buffer (what
    // the next byte taken puts there anyway).
    unsigned long long BitBuffer;
    int BitsHeld;  // 16 to 63 between calls; up to one less within FillBits
    int ZeroBytes; // zero bytes fed in past the end of the member's data
};

// Consumes n bits (0 to 17) and tops the 16-bit window up again. Past the
// end of the member's data the window fills with zero bits.
//
// While eight bytes or more wait in the buffer, the bits are topped up from
// them several bytes at a time. Near the end of the buffer the bytes are
// taken one at a time, only as the window needs them, so that the buffer is
// refilled, and zero bytes are fed past the data, exactly when the window
// reaches them: a read that fails, a file that ends early or codes that run
// past the data fail the same call whichever way the bytes came in.
inline void CFileBuffer::FillBits(int n) {
    BitBuffer <<= n;
    BitsHeld -= n;
    if (BitsHeld < 16) {
        if (FillCount - Cursor >= 8 && BitsHeld >= 0)
            TakeBytesAhead();
        else
            TakeBytesOneByOne();
    }
}

inline bool CFileBuffer::HoldBits(int spare) {
    if (BitsHeld >= 16 + spare)
        return true;
    if (FillCount - Cursor < 8)
        return false;
    TakeBytesAhead();
    return true;
}

// With eight bytes or more in the buffer and 0 to 63 bits held: as many
// whole bytes as fit go in, which leaves 56 to 63 bits held. The first bits
// of the byte after them come along below; they are that byte's own.
inline void CFileBuffer::TakeBytesAhead() {
    const unsigned char* p = IoBuffer + Cursor;
    const unsigned long long next =
        static_cast<unsigned long long>(p[0]) << 56 | static_cast<unsigned long long>(p[1]) << 48 |
        static_cast<unsigned long long>(p[2]) << 40 | static_cast<unsigned long long>(p[3]) << 32 |
        static_cast<unsigned long long>(p[4]) << 24 | static_cast<unsigned long long>(p[5]) << 16 |
        static_cast<unsigned long long>(p[6]) << 8 | static_cast<unsigned long long>(p[7]);
    BitBuffer |= next >> BitsHeld;
    Cursor += (63 - BitsHeld) >> 3;
    BitsHeld |= 56;
}

// The next n bits (1 to 16), first bit most significant.
inline unsigned CFileBuffer::GetBits(int n) {
    const unsigned window = PeekBits();
    FillBits(n);
    return window >> (16 - n);
}
