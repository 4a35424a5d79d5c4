#include "FileBuffer.h"

#include <cstring>
#include <new>

CFileBuffer::CFileBuffer()
    : FileHandle(INVALID_HANDLE_VALUE), IoBuffer(nullptr), FillCount(0), BufferOffset(0), Cursor(0),
      DataEnd(0), BitBuffer(0), BitsHeld(0), ZeroBytes(0) {}

// The handle is closed by Close, never here.
CFileBuffer::~CFileBuffer() {
    delete[] IoBuffer;
}

bool CFileBuffer::Open(const char* path, DWORD access, DWORD disposition) {
    FileHandle = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FileHandle == INVALID_HANDLE_VALUE)
        return false;
    IoBuffer = new (std::nothrow) unsigned char[BufferSize];
    if (IoBuffer == nullptr) {
        CloseHandle(FileHandle);
        FileHandle = INVALID_HANDLE_VALUE;
        return false;
    }
    Cursor = 0;
    FillCount = 0;
    return true;
}

bool CFileBuffer::OpenRead(const char* path) {
    return Open(path, GENERIC_READ, OPEN_EXISTING);
}

bool CFileBuffer::Create(const char* path) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
}

bool CFileBuffer::CreateTemporary(const char* path) {
    return Open(path, GENERIC_READ | GENERIC_WRITE | DELETE, CREATE_NEW);
}

bool CFileBuffer::Close() {
    if (!IsOpen())
        return true;
    const bool closed = CloseHandle(FileHandle) != FALSE;
    FileHandle = INVALID_HANDLE_VALUE;
    delete[] IoBuffer;
    IoBuffer = nullptr;
    return closed;
}

int CFileBuffer::ReadRaw(void* destination, int count) {
    DWORD got = 0;
    if (!IsOpen() || count <= 0)
        return 0;
    // A failed read counts as the bytes it delivered; the caller sees a short
    // header, which reads as the end of the archive.
    ReadFile(FileHandle, destination, static_cast<DWORD>(count), &got, nullptr);
    return static_cast<int>(got);
}

// Moves relative to the current position. With a high part, a low part of
// all ones is a valid position, so only the error code tells a failure.
bool CFileBuffer::MoveTo(long long offset) {
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(FileHandle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    const long long position = static_cast<long long>(
        (static_cast<unsigned long long>(static_cast<DWORD>(high)) << 32) | low);
    if (position == offset)
        return true;
    const unsigned long long distance = static_cast<unsigned long long>(offset - position);
    high = static_cast<LONG>(static_cast<DWORD>(distance >> 32));
    SetLastError(NO_ERROR);
    low = SetFilePointer(FileHandle, static_cast<LONG>(static_cast<DWORD>(distance)), &high,
                         FILE_CURRENT);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

void CFileBuffer::SetMemberData(long long offset, int size) {
    if (!MoveTo(offset))
        throw CFileException();
    BufferOffset = offset;
    FillCount = 0;
    DataEnd = offset + size;
    Cursor = 0;
    // An empty window of zero bits, which the first FillBits(16) consumes.
    BitBuffer = 0;
    BitsHeld = 16;
    ZeroBytes = 0;
}

// The data have run out and the window takes a zero byte. Every byte fetched
// is either consumed or among the bits held, so the bits consumed past the
// data are the zero bytes' bits less BitsHeld; within one FillBits this sum
// is the same after every byte. A member whose codes go on past its data by
// more than the slack is cut short: decoding it from zeros would only make
// bytes that are not its own, one a step, for as long as its declared size
// says.
[[gnu::noinline]] void CFileBuffer::FeedZeroByte() {
    ++ZeroBytes;
    if (ZeroBytes * 8 - BitsHeld > SlackBitsPastData)
        throw CExceptionLZH();
}

// BitsHeld may be -1 here, after 17 bits consumed from a full window: the
// first bit of the next byte is then spent already and falls off the top.
[[gnu::noinline]] void CFileBuffer::TakeBytesOneByOne() {
    while (BitsHeld < 16) {
        if (Cursor >= FillCount)
            Refill();
        if (Cursor < FillCount) {
            BitBuffer |= static_cast<unsigned long long>(IoBuffer[Cursor++]) << (56 - BitsHeld);
            BitsHeld += 8;
        } else {
            BitsHeld += 8;
            FeedZeroByte();
        }
    }
}

void CFileBuffer::Refill() {
    if (!IsOpen())
        return;
    if (Cursor > 0) {
        if (FillCount > Cursor)
            std::memmove(IoBuffer, IoBuffer + Cursor, static_cast<size_t>(FillCount - Cursor));
        FillCount -= Cursor;
        BufferOffset += Cursor;
        Cursor = 0;
    }
    // What is left of the member, or the free room, whichever is smaller.
    const int amount = BufferOffset + BufferSize > DataEnd
                           ? static_cast<int>(DataEnd - BufferOffset) - FillCount
                           : BufferSize - FillCount;
    if (amount <= 0)
        return;
    DWORD got = 0;
    if (!ReadFile(FileHandle, IoBuffer + FillCount, static_cast<DWORD>(amount), &got, nullptr))
        throw CFileException();
    if (got != static_cast<DWORD>(amount))
        throw CExceptionLZH(); // the file ends inside the member's data
    FillCount += amount;
}

// Block read for stored members. It reads whole buffers from wherever the
// file stands and does not stop at DataEnd; the caller bounds the count.
int CFileBuffer::Read(void* destination, int count) {
    unsigned char* out = static_cast<unsigned char*>(destination);
    int total = 0;
    while (count > 0) {
        if (Cursor >= FillCount) {
            if (IsOpen()) {
                BufferOffset += FillCount;
                Cursor = 0;
                DWORD got = 0;
                if (!ReadFile(FileHandle, IoBuffer, BufferSize, &got, nullptr))
                    throw CFileException();
                FillCount = static_cast<int>(got);
            }
            if (Cursor >= FillCount)
                break;
        }
        const int k = count < FillCount - Cursor ? count : FillCount - Cursor;
        std::memcpy(out, IoBuffer + Cursor, static_cast<size_t>(k));
        Cursor += k;
        out += k;
        total += k;
        count -= k;
    }
    return total;
}

// A full buffer is written only when more bytes arrive or on Flush.
int CFileBuffer::Write(const void* source, int count) {
    const unsigned char* in = static_cast<const unsigned char*>(source);
    int total = 0;
    while (count > 0) {
        if (Cursor >= BufferSize)
            Flush();
        const int k = count < BufferSize - Cursor ? count : BufferSize - Cursor;
        std::memcpy(IoBuffer + Cursor, in, static_cast<size_t>(k));
        Cursor += k;
        in += k;
        total += k;
        count -= k;
    }
    return total;
}

// A write that stores fewer bytes than asked (a full disk) is a failure like
// any other: the file would otherwise be reported complete while it is not.
void CFileBuffer::Flush() {
    if (!IsOpen() || Cursor <= 0)
        return;
    DWORD put = 0;
    if (!WriteFile(FileHandle, IoBuffer, static_cast<DWORD>(Cursor), &put, nullptr) ||
        put != static_cast<DWORD>(Cursor))
        throw CFileException();
    Cursor = 0;
}

bool CFileBuffer::Commit() {
    return IsOpen() && FlushFileBuffers(FileHandle) != FALSE;
}
