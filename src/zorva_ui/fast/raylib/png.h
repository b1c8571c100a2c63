// PNG encoding of RGBA8 pixels.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string>

namespace zorva::layer {

enum class PngDeflate {
    // Filter type 0 on every row in stored (uncompressed) deflate blocks: the first encoder of
    // the layer, kept as the baseline that the compressed one is measured against.
    kStored,
    // Row filters where they pay, deflated by CPython's own zlib module (no library of ours).
    kZlib,
};

// The PNG file of width x height RGBA8 pixels, top row first, in `out`. 0, or -1 with a Python
// exception set (only the zlib path can fail).
int encode_png(const uint8_t* rgba, int32_t width, int32_t height, PngDeflate deflate,
               std::string* out);

}  // namespace zorva::layer
