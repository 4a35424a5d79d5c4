// The canonical prefix code for a list of code lengths, computed the plain
// way, for tests to compare the decoder's tables with.
#pragma once

#include <cstdint>
#include <vector>

// Codes are handed out by increasing length and, within one length, by
// increasing symbol; each code counts up from the previous one, shifted left
// when the length grows. Symbols without a length get no code (0).
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths);
