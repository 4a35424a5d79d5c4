#include "CodePage932.h"

#include "DbcsText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <iconv.h>

namespace {

// U+30FB, the code page's default character, in UTF-8.
const char DefaultCharacter[] = "\xE3\x83\xBB";

// The single bytes that Windows' table has and glibc's lacks, in UTF-8.
const char* SingleByteOutsideTable(unsigned char b) {
    switch (b) {
    case 0x80:
        return "\xC2\x80"; // U+0080
    case 0xA0:
        return "\xEF\xA3\xB0"; // U+F8F0
    case 0xFD:
        return "\xEF\xA3\xB1"; // U+F8F1
    case 0xFE:
        return "\xEF\xA3\xB2"; // U+F8F2
    case 0xFF:
        return "\xEF\xA3\xB3"; // U+F8F3
    default:
        return DefaultCharacter;
    }
}

// A converter opened once; without glibc's conversion modules no path could
// be named at all, so that ends the program with a message.
iconv_t Converter(const char* to, const char* from) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "no conversion from %s to %s (glibc's gconv modules): %s\n", from, to,
                     std::strerror(errno));
        std::abort();
    }
    return converter;
}

// Converts the whole text. On a byte sequence that the converter refuses,
// `refused` is called with the rest of the input and the output, and says
// how many bytes it took; a refusal it does not take (0) ends the
// conversion with false.
template <class Refused>
bool Convert(iconv_t converter, const char* text, std::string& out, Refused refused) {
    out.clear();
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    size_t left = std::strlen(text);
    char buffer[1024];
    while (left > 0) {
        char* put = buffer;
        size_t room = sizeof buffer;
        const size_t result = iconv(converter, &in, &left, &put, &room);
        out.append(buffer, static_cast<size_t>(put - buffer));
        if (result != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        const size_t taken = refused(reinterpret_cast<const unsigned char*>(in), left, out);
        if (taken == 0)
            return false;
        in += taken;
        left -= taken;
    }
    return true;
}

} // namespace

std::string Utf8FromCodePage932(const char* text) {
    static const iconv_t decoder = Converter("UTF-8", "CP932");
    std::string out;
    Convert(decoder, text, out, [](const unsigned char* at, size_t left, std::string& to) {
        if (!IsLeadByte932(at[0])) {
            to += SingleByteOutsideTable(at[0]);
            return static_cast<size_t>(1);
        }
        if (left == 1)
            return left; // a lead byte at the end: dropped
        to += DefaultCharacter;
        return static_cast<size_t>(2);
    });
    return out;
}

bool CodePage932FromUtf8(const char* text, std::string& out) {
    static const iconv_t encoder = Converter("CP932", "UTF-8");
    return Convert(
               encoder, text, out,
               [](const unsigned char*, size_t, std::string&) { return static_cast<size_t>(0); }) &&
           Utf8FromCodePage932(out.c_str()) == text;
}
