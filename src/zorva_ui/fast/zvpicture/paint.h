// The CPU renderer's pixel loops: the picture of fast/picture/gradient_model.h written into
// memory, from the exact t or from a colour ramp, on several threads for large pictures. Nothing
// here touches Python, so it runs with the interpreter lock released.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fast/picture/gradient_model.h"

namespace zorva::zvpicture {

// Rows of `width` pixels of 4 bytes, `stride` bytes apart, the top row first.
struct Pixels {
    uint8_t* data;
    ptrdiff_t stride;
};

// How a picture is painted, decided before any pixel is written.
enum class Path {
    kEmpty,     // nothing to paint (no pixels)
    kConstant,  // one colour everywhere (no colours, or t undefined)
    kExact,     // each pixel from its exact t (pictures small beside the ramp)
    kRamp,      // from the colour ramp, marked cells from the exact t
};

Path choose_path(const picture::Geometry& geometry, const picture::ColourLine& line);

// Pictures at least this large are shared among the processor's cores.
inline constexpr int64_t kParallelPixels = int64_t{1} << 17;

// Paints the whole picture. `table` (the line's ramp, in `order`) is read on the ramp path
// only; `marked` says whether it holds any marker. Threads are started here and joined before
// it returns; a thread that cannot be started leaves its rows to the caller's thread.
void paint(const picture::Geometry& geometry, const picture::ColourLine& line,
           const uint32_t* table, bool marked, picture::ByteOrder order, Pixels out);

// The line's colour ramp in `order` (line.cells() entries), vectorised where the processor
// allows.
void fill_ramp(const picture::ColourLine& line, picture::ByteOrder order, uint32_t* table);

// Which pixel loop the ramp path uses on this processor ("avx2" or "generic").
const char* ramp_loop_name();

}  // namespace zorva::zvpicture
