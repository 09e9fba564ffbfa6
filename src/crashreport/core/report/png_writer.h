#pragma once
// The screenshot's file: a PNG of 8-bit palette indices (colour type 3),
// written by our own code, with zlib compressing the image data. Layout
// (docs/screenshot-png.md): the signature, "IHDR", "PLTE" with all 256
// entries, the zlib stream cut into "IDAT" chunks of 262143 bytes (the last
// one shorter), "IEND". Every row is a filter byte 0 and Width indices.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/report/octree_quantizer.h"

namespace cv {

inline constexpr std::size_t kPNGIDATChunkSize = 0x3FFFF; // 262143

// Appends one chunk: the data's length (32-bit big-endian), the type, the
// data, and the CRC-32 of type and data.
void WritePNGChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> data);

// The whole file. False (and `out` as far as it came) when zlib fails.
bool WritePNGToStream(const TPalettePicture& picture, std::vector<uint8_t>& out);

// Writes the file through a temporary file and a rename, so that no file,
// or the previous one, stays when writing fails. Nothing for an empty name.
// False with the file's name and the system's reason in `error`.
bool SaveScreenshotPNGFile(const std::string& fileName, const TPalettePicture& picture, std::string* error = nullptr);

} // namespace cv
