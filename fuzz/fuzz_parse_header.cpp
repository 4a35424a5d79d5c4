// libFuzzer target: one candidate member header, all of it in view.
//
// The input is copied to a heap block of exactly its size, so that a read
// past the bytes the parser was told about is caught by AddressSanitizer.
// After a successful parse the decoded fields must obey the rules every
// caller relies on; a header that parsed must parse the same way again, on
// a copy cut right after its last byte.
#include "DbcsText.h"
#include "ExtractorLZH.h"
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The name must end within its 260 bytes and hold no path separator outside
// a double-byte character: it is appended to the destination folder as it is.
void CheckName(const char* name) {
    const void* end = std::memchr(name, 0, PathSize);
    FUZZ_CHECK(end != nullptr, "Name has no terminator within %d bytes", PathSize);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(name);
    for (size_t i = 0; s[i] != 0; ++i) {
        if (IsDoubleByteAt(name, static_cast<int>(i))) {
            ++i;
            continue;
        }
        FUZZ_CHECK(s[i] != '/' && s[i] != '\\' && s[i] != ':' && s[i] != 0xFF,
                   "Name holds the separator 0x%02X at index %zu", s[i], i);
    }
}

bool SameHeader(const MemberHeaderLZH& a, const MemberHeaderLZH& b) {
    return a.HeaderSize == b.HeaderSize && a.MethodIndex == b.MethodIndex &&
           a.PackedSize == b.PackedSize && a.UnpackedSize == b.UnpackedSize &&
           a.TimeStamp == b.TimeStamp && std::memcmp(a.Name, b.Name, PathSize) == 0 &&
           a.HasFileCrc == b.HasFileCrc && a.FileCrc == b.FileCrc;
}

CExtractorLZH& Engine() {
    static CExtractorLZH* engine = new CExtractorLZH();
    return *engine;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20)
        return 0;
    const int n = static_cast<int>(size);
    // Exactly n bytes on the heap; new[] of 0 bytes still gives a block.
    std::vector<unsigned char> copy(data, data + size);
    unsigned char* p = new unsigned char[size];
    if (size > 0)
        std::memcpy(p, data, size);

    CExtractorLZH& engine = Engine();
    const bool ok = engine.ParseHeader(p, n);
    const MemberHeaderLZH first = engine.GetHeader();

    FUZZ_CHECK(size == 0 || std::memcmp(p, copy.data(), size) == 0,
               "ParseHeader changed its input");
    if (n < MinHeaderSize || (n > 0 && p[0] == 0)) {
        FUZZ_CHECK(ok && first.HeaderSize == 0,
                   "%d bytes, first byte %d: must read as the end of the archive (ok %d, "
                   "HeaderSize %d)",
                   n, n > 0 ? p[0] : -1, ok, first.HeaderSize);
    }

    if (ok) {
        FUZZ_CHECK(first.HeaderSize >= 0, "HeaderSize %d", first.HeaderSize);
        if (first.HeaderSize > 0) {
            FUZZ_CHECK(first.HeaderSize <= n, "HeaderSize %d with only %d bytes available",
                       first.HeaderSize, n);
            FUZZ_CHECK(first.HeaderSize >= MinHeaderSize, "HeaderSize %d below the smallest header",
                       first.HeaderSize);
            FUZZ_CHECK(first.MethodIndex >= 0 && first.MethodIndex <= MethodDirectory,
                       "MethodIndex %d", first.MethodIndex);
            if (first.MethodIndex == MethodDirectory)
                FUZZ_CHECK(first.PackedSize == 0 && first.UnpackedSize == 0 && !first.HasFileCrc,
                           "a folder entry with data: packed %d, size %d, CRC %d", first.PackedSize,
                           first.UnpackedSize, first.HasFileCrc);
            FUZZ_CHECK(first.PackedSize >= 0, "PackedSize %d", first.PackedSize);
            FUZZ_CHECK(first.UnpackedSize >= 0, "UnpackedSize %d", first.UnpackedSize);
            const int level = p[HeaderLevelAt];
            FUZZ_CHECK(level <= 2, "accepted header level %d", level);
            if (level == 2 && first.MethodIndex != MethodDirectory)
                FUZZ_CHECK(first.HasFileCrc, "level-2 header without its file CRC");
            if (level == 0)
                FUZZ_CHECK(first.HeaderSize == p[0] + Level01HeadBytes,
                           "level-0 HeaderSize %d, byte 0 is %d", first.HeaderSize, p[0]);
        }
        CheckName(first.Name);
    }

    // The same bytes parse the same way, whatever the engine parsed before.
    const bool again = engine.ParseHeader(p, n);
    FUZZ_CHECK(again == ok, "second parse gave %d, first %d", again, ok);
    if (ok)
        FUZZ_CHECK(SameHeader(engine.GetHeader(), first), "second parse decoded other fields");

    // A header is self-delimiting: cut right after its last byte it parses
    // to the same fields, and nothing past that byte is read.
    if (ok && first.HeaderSize > 0) {
        const size_t cut = static_cast<size_t>(first.HeaderSize);
        unsigned char* q = new unsigned char[cut];
        std::memcpy(q, p, cut);
        const bool exact = engine.ParseHeader(q, first.HeaderSize);
        FUZZ_CHECK(exact, "header of %d bytes rejected when cut after its last byte",
                   first.HeaderSize);
        FUZZ_CHECK(SameHeader(engine.GetHeader(), first),
                   "header cut after its last byte decoded other fields");
        delete[] q;
    }

    delete[] p;
    return 0;
}
