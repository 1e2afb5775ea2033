// A minimal PNG writer for 8-bit RGB pictures: the image data goes into
// stored (uncompressed) deflate blocks, so no compression library is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessal::cli {

// Writes width x height pixels (0xAARRGGBB, top row first; alpha ignored) to
// `path`; false with the reason in `error` when the file cannot be written.
bool write_png(const std::string& path, int width, int height,
               const std::vector<std::uint32_t>& pixels, std::string& error);

}  // namespace tessal::cli
