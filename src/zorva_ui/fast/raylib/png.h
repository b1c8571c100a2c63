// PNG encoding of RGBA8 pixels (stored deflate blocks: no compression library needed).
#pragma once

#include <cstdint>
#include <string>

namespace zorva::layer {

// The PNG file of width x height RGBA8 pixels, top row first.
std::string encode_png(const uint8_t* rgba, int32_t width, int32_t height);

}  // namespace zorva::layer
