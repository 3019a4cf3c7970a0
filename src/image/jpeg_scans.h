#pragma once
// A look at a JPEG stream's structure before a decoder sees it. Every scan of a progressive
// picture costs the decoder a pass over the whole picture, and a file can hold thousands of
// empty scans in a few kilobytes, so readers refuse streams with more scans than honest
// encoders write.

#include <cstddef>
#include <cstdint>

// Honest progressive files have about ten scans; generous, and still cheap to decode.
inline constexpr int kMaxJpegScans = 64;

// The number of scans (start-of-scan segments) in the stream, walking its segments and the
// coded data between them, counting no further than `stopAfter`. 0 for bytes that are no JPEG.
int JpegScanCount(const uint8_t* data, size_t size, int stopAfter = kMaxJpegScans + 1);
