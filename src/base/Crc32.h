// CRC-32 as gzip, zip and PNG use it (reflected polynomial 0xEDB88320), with zlib's
// calling convention: start from 0, feed the data in any pieces, the running value is
// the check value of everything fed so far. On x86 processors with carry-less multiply
// the bulk of each piece is folded 64 bytes at a time, several times faster than a table
// (an HTTP client checks every byte of a gzip body with it); elsewhere zlib computes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace base {

uint32_t Crc32(uint32_t crc, const void* data, size_t length);

// Whether Crc32 takes the carry-less multiply path on this processor.
bool Crc32Accelerated();
// zlib's own computation, which Crc32 must always agree with.
uint32_t Crc32Portable(uint32_t crc, const void* data, size_t length);

}  // namespace base
