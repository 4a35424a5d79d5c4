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
    bool Create(const char* path);
    void Close();
    bool IsOpen() const { return FileHandle != INVALID_HANDLE_VALUE; }

    // Raw access that bypasses IoBuffer, for reading member headers. The next
    // SetMemberData brings the buffer back in step with the file.
    int ReadRaw(void* destination, int count);
    bool MoveTo(int offset);

    // Input side: a member's compressed data and the bit input over it.
    void SetMemberData(int offset, int size);
    inline void FillBits(int n);
    inline unsigned GetBits(int n);
    unsigned PeekBits() const { return (BitBuffer >> BitCount) & 0xFFFF; }
    int Read(void* destination, int count);

    // Output side.
    int Write(const void* source, int count);
    void Flush();

    // Open to the owner: the engine sets an output file's times through it.
    HANDLE FileHandle;

  private:
    bool Open(const char* path, DWORD access, DWORD disposition);
    void Refill();

    unsigned char* IoBuffer;
    int FillCount;    // input: valid bytes in IoBuffer
    int BufferOffset; // input: file offset of IoBuffer[0]
    int Cursor;       // input: next unread byte; output: bytes waiting
    int DataEnd;      // input: file offset just past the member's data
    unsigned BitBuffer;
    int BitCount; // spare bits below the 16-bit window
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
    }
}

// The next n bits (1 to 16), first bit most significant.
inline unsigned CFileBuffer::GetBits(int n) {
    const unsigned window = PeekBits();
    FillBits(n);
    return window >> (16 - n);
}
