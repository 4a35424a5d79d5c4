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
    unsigned PeekBits() const { return (BitBuffer >> BitCount) & 0xFFFF; }
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

    unsigned char* IoBuffer;
    int FillCount;          // input: valid bytes in IoBuffer
    long long BufferOffset; // input: file offset of IoBuffer[0]
    int Cursor;             // input: next unread byte; output: bytes waiting
    long long DataEnd;      // input: file offset just past the member's data
    unsigned BitBuffer;
    int BitCount;  // spare bits below the 16-bit window
    int ZeroBytes; // zero bytes fed in past the end of the member's data
};

// Consumes n bits (0 to 17) and tops the 16-bit window up again, a byte at a
// time. Past the end of the member's data the window fills with zero bits.
inline void CFileBuffer::FillBits(int n) {
    BitCount -= n;
    while (BitCount < 0) {
        BitCount += 8;
        BitBuffer <<= 8;
        if (Cursor >= FillCount)
            Refill();
        if (Cursor < FillCount)
            BitBuffer |= IoBuffer[Cursor++];
        else
            FeedZeroByte();
    }
}

// The next n bits (1 to 16), first bit most significant.
inline unsigned CFileBuffer::GetBits(int n) {
    const unsigned window = PeekBits();
    FillBits(n);
    return window >> (16 - n);
}
