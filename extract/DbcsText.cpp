#include "DbcsText.h"

#include "Platform.h"

namespace {

// Trail-byte ranges of the double-byte code pages Windows uses for East Asian
// text; any other code page falls back to the widest common range.
bool IsTrailByte(unsigned char b) {
    switch (GetACP()) {
    case 932:
        return IsTrailByte932(b);
    case 949: // Korean
        return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
    case 950: // Traditional Chinese
        return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
    default:
        return b >= 0x40 && b <= 0xFE && b != 0x7F;
    }
}

} // namespace

bool IsDoubleByteAt(const char* text, int i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
    // The terminator is never a trail byte, so a lead byte in the last
    // position stands alone.
    return lead != 0 && IsDBCSLeadByte(lead) && trail != 0 && IsTrailByte(trail);
}

int LastCharIndex(const char* text, char ch) {
    int last = -1;
    for (int i = 0; text[i] != 0; ++i) {
        if (IsDoubleByteAt(text, i))
            ++i;
        else if (text[i] == ch)
            last = i;
    }
    return last;
}

bool EndsInLoneLeadByte(const char* text) {
    int i = 0;
    for (; text[i] != 0; ++i) {
        if (IsDoubleByteAt(text, i))
            ++i;
        else if (text[i + 1] == 0)
            return IsDBCSLeadByte(static_cast<unsigned char>(text[i])) != 0;
    }
    return false;
}
