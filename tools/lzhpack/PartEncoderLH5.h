// One part of a -lh5- stream: LZ77 over the format's 8,192-byte reach with
// cost-based optimal parsing, coded in blocks of static Huffman codes. The
// parts of a stream are coded apart and their bits joined (EncoderLH5.h).
#pragma once

#include "BitWriter.h"
#include "EncoderLH5.h"

#include <cstdint>

// Codes the bytes from start to end of data as blocks that continue a
// stream whose earlier bytes end at start: matches reach into the up to
// 8,192 bytes before start. out receives the blocks, the last byte perhaps
// partly used (out.BitCount()).
void EncodePartLH5(const uint8_t* data, uint32_t start, uint32_t end, const EncoderOptions& options,
                   CBitWriter& out);
