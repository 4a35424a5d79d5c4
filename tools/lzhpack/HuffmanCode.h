// Length-limited Huffman codes for the -lh5- encoder: optimal code lengths
// under a maximum length (package-merge) and the canonical codes that the
// decoder rebuilds from those lengths.
#pragma once

#include "FormatLZH.h" // MaxCodeBits

#include <cstdint>

// Optimal code lengths (at most maxBits) for the symbols with a non-zero
// frequency; symbols with frequency 0 get length 0. With two or more used
// symbols the lengths form a complete prefix code. With exactly one used
// symbol that symbol gets length 1 (an incomplete code: the block writer
// sends such a code as a constant instead). Returns the number of used
// symbols. count is at most 1024 and 2^maxBits must cover the used symbols.
int LimitedCodeLengths(const uint32_t* freq, int count, int maxBits, uint8_t* lengths);

// Canonical codes for the lengths: shorter codes first and, within one
// length, in increasing symbol order; each code is sent most significant bit
// first. Symbols of length 0 get code 0.
void CanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes);

// Kraft sum of the lengths scaled so that a complete code gives 1 << maxBits.
uint32_t KraftSum(const uint8_t* lengths, int count, int maxBits);
