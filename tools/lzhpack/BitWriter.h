// Bit output for the -lh5- encoder: fields are appended most significant bit
// first, the way the decoder's bit input reads them.
#pragma once

#include <cstdint>
#include <vector>

class CBitWriter {
  public:
    // Appends the low count bits of value (count 0 to 32).
    void PutBits(int count, uint32_t value) {
        if (count == 0)
            return;
        Pending = (Pending << count) | (value & (count == 32 ? 0xFFFFFFFFu : (1u << count) - 1));
        PendingBits += count;
        while (PendingBits >= 8) {
            PendingBits -= 8;
            Bytes.push_back(static_cast<uint8_t>(Pending >> PendingBits));
        }
    }

    // Pads the last byte with zero bits.
    void Flush() {
        if (PendingBits > 0)
            Bytes.push_back(static_cast<uint8_t>(Pending << (8 - PendingBits)));
        PendingBits = 0;
        Pending = 0;
    }

    void Clear() {
        Bytes.clear();
        Pending = 0;
        PendingBits = 0;
    }

    uint64_t BitCount() const { return static_cast<uint64_t>(Bytes.size()) * 8 + PendingBits; }
    std::vector<uint8_t>& Data() { return Bytes; }

  private:
    std::vector<uint8_t> Bytes;
    uint64_t Pending = 0; // holds fewer than 8 bits between calls
    int PendingBits = 0;
};
