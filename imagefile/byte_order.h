// Reading and writing little- or big-endian integers one byte at a time through stdio.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tarvel {

// Reads a 32-bit value as 4 bytes (little-endian unless bigEndian). False when
// the file ends first; value is then meaningless.
bool readInt32(std::FILE* file, std::uint32_t& value, bool bigEndian);

// Writes a 32-bit value as 4 bytes (little-endian unless bigEndian). False on a write error.
bool writeInt32(std::FILE* file, std::uint32_t value, bool bigEndian);

// The same for 16-bit values (2 bytes).
bool readInt16(std::FILE* file, std::uint16_t& value, bool bigEndian);
bool writeInt16(std::FILE* file, std::uint16_t value, bool bigEndian);

}  // namespace tarvel
