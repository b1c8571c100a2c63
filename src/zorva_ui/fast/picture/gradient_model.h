// The gradient picture, defined once (docs/gradients.md is its written form; the GLSL of
// zorva_ui.fast.gradient_shader follows the same text): stop positions from colour weights, the
// sanitised stops and premultiplied colours of one picture, the position t of a pixel for
// linear and radial gradients, the colour at t, and the quantised colour ramp with the cells
// whose pixels are painted from their exact t.
//
// The gradient module computes its stops here; the CPU renderer (fast/zvpicture) paints from
// here. Every step is plain double or float arithmetic in a fixed order, so the same inputs give
// the same bytes on every run, thread split and instruction set (nothing here may be contracted
// into fused multiply-adds: the modules build with -ffp-contract=off).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fast/common/args.h"  // narrow_to_float

namespace zorva::picture {

// Length of the shader's colour and stop arrays; a longer colour list is cut to this many.
inline constexpr int kMaxColors = 64;

// Colour ramps: at least this many cells, and at most the larger (a power of two either way).
inline constexpr int kRampMinCells = 4096;
inline constexpr int kRampMaxCells = 65536;
// Pictures with at most a sixteenth as many pixels as the ramp has cells are painted exactly: a
// cell costs a fraction of a pixel painted from its exact t, and a kept ramp costs nothing.
inline constexpr int kRampCellsPerExactPixel = 16;
// A ramp cell whose pixels are painted from their exact t. No picture holds this colour: a
// premultiplied colour never has more red than alpha. Bytes (1, 0, 0, 0) in RGBA order.
inline constexpr uint32_t kMarkerRgba = 1;
// A pixel centre on a hard edge has t exactly at the edge, but t computed in floating point (in
// 32 bits on the GPU, through interpolation) may land a rounding error short of it. Every t is
// therefore taken this much further along before its colour is looked up, so that the later
// colour wins at the edge on every renderer. Some 8 units in the last place of a 32-bit t near
// 1: above the GPU's error, far below what moves a colour by a step (and below a ramp cell of
// the largest ramp: the cells around an edge are painted exactly).
inline constexpr double kEdgeSnap = 0x1p-20;

// ---- Stops from weights ---------------------------------------------------------------------

// Python's min() and max() of two values: the first one wins unless the second compares
// strictly smaller (larger). This fixes the results for NaN and for equal signed zeros.
inline double py_min(double a, double b) {
    return b < a ? b : a;
}
inline double py_max(double a, double b) {
    return b > a ? b : a;
}

// One stop per weight. Boundaries b0 = 0, b(k+1) = bk + w(k) / total are running sums kept as
// 32-bit floats, each step evaluated in double (a total <= 0 counts as 1). A middle colour stops
// at the middle of its band (32-bit arithmetic); the first at max(0, b1 - min(b1, 1 - b1)) and
// the last at min(1, b + min(b, 1 - b)) with b = b(n-1), both in double.
inline void stops_from_weights(const float* weights, size_t count, float* out) {
    if (count == 1) {
        out[0] = 0.0f;
        return;
    }
    if (count == 0) return;
    double total = 0.0;
    for (size_t i = 0; i < count; ++i) total += weights[i];
    // Not `!(total > 0)`: a NaN total stays NaN and so do the boundaries.
    if (total <= 0.0) total = 1.0;
    float lower = 0.0f;  // b(i)
    for (size_t i = 0; i < count; ++i) {
        const float upper = narrow_to_float(static_cast<double>(lower) + weights[i] / total);
        if (i == 0) {
            const double b1 = upper;
            out[i] = narrow_to_float(py_max(0.0, b1 - py_min(b1, 1.0 - b1)));
        } else if (i == count - 1) {
            const double b = lower;
            out[i] = narrow_to_float(py_min(1.0, b + py_min(b, 1.0 - b)));
        } else {
            out[i] = (lower + upper) * 0.5f;
        }
        lower = upper;
    }
}

// ---- Byte order of a painted pixel ------------------------------------------------------------

// Where each of R, G, B, A goes among a pixel's four bytes.
struct ByteOrder {
    std::array<uint8_t, 4> position{0, 1, 2, 3};

    static constexpr ByteOrder rgba() { return ByteOrder{{0, 1, 2, 3}}; }
    static constexpr ByteOrder bgra() { return ByteOrder{{2, 1, 0, 3}}; }

    uint32_t pack(const uint8_t rgba[4]) const {
        uint8_t bytes[4];
        for (int c = 0; c < 4; ++c) bytes[position[c]] = rgba[c];
        uint32_t word;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
    // The marker in this order: red 1, the rest 0.
    uint32_t marker() const {
        const uint8_t red_one[4] = {1, 0, 0, 0};
        return pack(red_one);
    }
};

// A channel value 0..1 to its byte: x * 255 rounded half to even, as the processor rounds.
// Adding and taking away 1.5 * 2^52 rounds a double below 2^51 to an integer in the current
// (nearest-even) mode, with no library call.
inline uint8_t channel_byte(double value) {
    double x = value > 0.0 ? value : 0.0;  // NaN counts as 0
    x = x < 1.0 ? x : 1.0;
    x *= 255.0;
    return static_cast<uint8_t>((x + 0x1.8p52) - 0x1.8p52);
}

// ---- Colour as a function of t ----------------------------------------------------------------

// One cell of a span ramp (ColourLine::fill_span_ramp): colours packed in RGBA byte order, red in
// the low byte, premultiplied, mixed by f = clamp((t - from) * scale, 0, 1), in 32-bit floats as
// the GPU computes it. A band: `from` its first stop, `scale` 1 / its width. A hard edge at s:
// `from` the float just below s and `scale` 2^100, so that every t at or past s (t is never
// below 2^-20) gives f = 1 and every t below it f = 0.
struct RampCell {
    uint32_t low;
    uint32_t high;
    float from;
    float scale;
};
static_assert(sizeof(RampCell) == 16);

// One gradient's colours along t: sanitised stops, premultiplied colours with the picture's
// alpha applied, and the colour ramp's size.
class ColourLine {
  public:
    // `colours` holds `count` RGBA records (0..1, straight alpha), `stops` as many positions;
    // `count` must already be clamped to 0..kMaxColors.
    void assign(const float (*colours)[4], const float* stops, int count, float alpha) {
        count_ = count;
        double a = std::isnan(alpha) ? 0.0 : static_cast<double>(alpha);
        a = std::min(std::max(a, 0.0), 1.0);
        // NaN takes the previous stop (the first: 0), clamped to 0..1, never below the previous.
        double previous = 0.0;
        for (int i = 0; i < count; ++i) {
            double s = stops[i];
            if (std::isnan(s)) s = previous;
            s = std::max(std::min(std::max(s, 0.0), 1.0), previous);
            stops_[i] = s;
            previous = s;
        }
        // Channels clamped to 0..1 (NaN: 0), rgb times the colour's alpha, all times `a`.
        for (int i = 0; i < count; ++i) {
            double c[4];
            for (int k = 0; k < 4; ++k) {
                const double v = colours[i][k];
                c[k] = std::isnan(v) ? 0.0 : std::min(std::max(v, 0.0), 1.0);
            }
            for (int k = 0; k < 3; ++k) c[k] *= c[3];
            for (int k = 0; k < 4; ++k) colours_[i][k] = c[k] * a;
        }
        size_ramp();
    }

    int count() const { return count_; }
    int cells() const { return cells_; }

    // The colour at t (0..1) as bytes R, G, B, A, looked up kEdgeSnap further along.
    void at(double t, uint8_t out[4]) const { at_exactly(std::min(t + kEdgeSnap, 1.0), out); }

    // The colour at t itself, with no shift.
    void at_exactly(double t, uint8_t out[4]) const {
        if (count_ == 0) {
            std::memset(out, 0, 4);
            return;
        }
        const int k = stops_at_or_below(t);
        // k = 0: before the first stop; k = count: at or after the last; otherwise t lies in
        // [s(k-1), s(k)), a band of positive width, between colours k-1 and k.
        const int lower = std::max(k - 1, 0);
        const int upper = std::min(k, count_ - 1);
        double f = 0.0;
        if (k > 0 && k < count_) f = (t - stops_[lower]) / (stops_[upper] - stops_[lower]);
        for (int c = 0; c < 4; ++c) {
            const double low = colours_[lower][c];
            out[c] = channel_byte(low + (colours_[upper][c] - low) * f);
        }
    }

    // The colour ramp: `cells_` packed pixels, the colour at each cell's middle, and the marker
    // in the cells around a hard edge and across a band too steep for the ramp, whose pixels
    // are painted from their exact t.
    // Always inlined: the CPU renderer compiles it once more for AVX2.
    [[gnu::always_inline]] void fill_ramp(uint32_t* table, ByteOrder order) const {
        const int n = count_;
        if (n == 0) {
            std::fill(table, table + cells_, 0u);
            return;
        }
        // (i + 0.5) / cells, exactly: cells is a power of two.
        const double inverse_cells = 1.0 / cells_;
        uint64_t shift[4];
        for (int c = 0; c < 4; ++c) shift[c] = 8u * order.position[c];
        // One band at a time: the cells whose middles lie at or after stop `above - 1` and
        // before stop `above`, interpolated between the same two colours.
        int first = 0;
        for (int above = 0; above <= n && first < cells_; ++above) {
            int last = cells_;  // the band's cells end where a middle reaches the next stop
            if (above < n) {
                last = std::clamp(static_cast<int>(std::ceil(stops_[above] * cells_ - 0.5)), first,
                                  cells_);
                while (last > first && (last - 1 + 0.5) * inverse_cells >= stops_[above]) --last;
                while (last < cells_ && (last + 0.5) * inverse_cells < stops_[above]) ++last;
            }
            const int lower = std::max(above - 1, 0);
            const int upper = std::min(above, n - 1);
            fill_band(table + first, first, last - first, lower, upper, inverse_cells, shift);
            first = last;
        }
        const uint32_t marker = order.marker();
        const auto mark = [&](int64_t first, int64_t last) {
            first = std::max<int64_t>(first, 0);
            last = std::min<int64_t>(last, cells_ - 1);
            for (int64_t i = first; i <= last; ++i) table[i] = marker;
        };
        for (int i = 1; i < n; ++i) {
            // Equal neighbouring stops make the colour jump; the cell of the edge and its
            // neighbours, as the index on the ramp's path is computed in 32 bits.
            if (stops_[i] == stops_[i - 1]) {
                const int64_t cell = static_cast<int64_t>(std::floor(stops_[i] * cells_));
                mark(cell - 1, cell + 1);
            }
        }
        for (int band = 0; band + 1 < n; ++band) {
            if (!steep(band)) continue;
            mark(static_cast<int64_t>(std::floor(stops_[band] * cells_)) - 1,
                 static_cast<int64_t>(std::floor(stops_[band + 1] * cells_)) + 1);
        }
    }

    // ---- The span ramp, for a sampler that reads one cell per pixel and cannot branch ----
    //
    // Every cell holds one span of the colour line: a band (its two stops and end colours, to
    // be mixed by where t lies between them, the exact colour however steep the band), or a
    // hard edge (its stop and the colours before and after it); see RampCell. t before the span
    // takes its first colour, t at or past its end the last. A cell inside one band holds that
    // band, so its pixels get the colour of their exact t; a cell that a stop falls in holds
    // whichever of its bands and edges changes the colour most inside the cell, and the rest of the
    // cell is within a quarter step of exact as edge_cells sizes the ramp, unless even the largest
    // ramp cannot part them (bands too narrow and steep side by side).

    // The number of cells, a power of two up to `limit`: the fewest for which no cell holds two
    // distinct stop positions and, where a stop falls inside a cell, the side of it that the
    // cell does not hold exactly changes the colour by at most a quarter step across the cell.
    int edge_cells(int limit) const {
        int cells = 1;
        while (cells < limit && !stops_parted(cells)) cells *= 2;
        return cells;
    }

    // Fills `cells` records.
    void fill_span_ramp(RampCell* table, int cells) const {
        const int n = count_;
        const double inverse_cells = 1.0 / cells;
        int k = 0;  // stops at or below the cell's start: the cell starts in band k
        for (int i = 0; i < cells; ++i) {
            const double low = i * inverse_cells;
            const double high = (i + 1) * inverse_cells;
            while (k < n && stops_[k] <= low) ++k;
            int last = k;  // stops below the cell's end: it ends in band `last`
            while (last < n && stops_[last] < high) ++last;
            if (n == 0) {
                table[i] = RampCell{0, 0, kNoSpan, kNoScale};
                continue;
            }
            // The band (or run of equal stops) that changes the colour most inside the cell.
            int best_from = k, best_to = k;
            double best = -1.0;
            for (int band = k; band <= last;) {
                int end = band;  // bands band..end: one band, or the zero-width run of an edge
                if (band > 0 && band < n && stops_[band] == stops_[band - 1]) {
                    while (end + 1 < n && stops_[end + 1] == stops_[band]) ++end;
                }
                const double change = change_inside(band, end, low, high);
                if (change > best) {
                    best = change;
                    best_from = band;
                    best_to = end;
                }
                band = end + 1;
            }
            table[i] = span_of(best_from, best_to);
        }
    }

  private:
    // A cell of one colour: f = 0 for every t.
    static constexpr float kNoSpan = 2.0f;
    static constexpr float kNoScale = 0.0f;
    static constexpr float kEdgeScale = 0x1p100f;

    // The largest change of a channel between colours a and b, in 0..1 units.
    double channel_change(int a, int b) const {
        double change = 0.0;
        for (int c = 0; c < 4; ++c)
            change = std::max(change, std::fabs(colours_[b][c] - colours_[a][c]));
        return change;
    }

    // How much bands first..last (one band, or an edge's run of zero-width bands) change the
    // colour inside [low, high), in 0..1 units of a channel.
    double change_inside(int first, int last, double low, double high) const {
        if (first == 0 || last >= count_) return 0.0;  // before the first or after the last stop
        const double from = stops_[first - 1];
        const double to = stops_[last];
        const double change = channel_change(first - 1, last);
        if (!(to > from)) return change;  // an edge: the whole jump
        const double overlap = std::min(high, to) - std::max(low, from);
        return change * std::max(overlap, 0.0) / (to - from);
    }

    uint32_t packed_colour(int index) const {
        uint8_t rgba[4];
        for (int c = 0; c < 4; ++c) rgba[c] = channel_byte(colours_[index][c]);
        return ByteOrder::rgba().pack(rgba);
    }

    // The span of bands first..last: from the stop before the first to the last's stop.
    RampCell span_of(int first, int last) const {
        if (first == 0 || first >= count_) {
            const uint32_t colour = packed_colour(first == 0 ? 0 : count_ - 1);
            return RampCell{colour, colour, kNoSpan, kNoScale};
        }
        last = std::min(last, count_ - 1);
        const float from = static_cast<float>(stops_[first - 1]);
        const float to = static_cast<float>(stops_[last]);
        if (!(to > from)) {
            return RampCell{packed_colour(first - 1), packed_colour(last),
                            std::nextafter(from, -1.0f), kEdgeScale};
        }
        const float scale =
            narrow_to_float(1.0 / (static_cast<double>(to) - static_cast<double>(from)));
        return RampCell{packed_colour(first - 1), packed_colour(last), from, scale};
    }

    bool stops_parted(int cells) const {
        int previous_cell = -1;
        for (int i = 0; i < count_;) {
            int end = i;  // stops i..end: one position (a hard edge when more than one)
            while (end + 1 < count_ && stops_[end + 1] == stops_[i]) ++end;
            const double scaled = stops_[i] * cells;  // exact: cells is a power of two
            const double cell = std::floor(scaled);
            if (scaled != cell) {  // inside a cell, not on its boundary
                const int index = static_cast<int>(cell);
                if (index == previous_cell) return false;  // two positions in one cell
                previous_cell = index;
                const double before = i > 0 ? slope(i - 1) : 0.0;
                const double after = end + 1 < count_ ? slope(end) : 0.0;
                // The cell holds an edge exactly and neither side; at a soft stop, the side
                // that changes more, and the other side may be off.
                const double off = end > i ? std::max(before, after) : std::min(before, after);
                if (off / cells > 0.25) return false;
            }
            i = end + 1;
        }
        return true;
    }

    // `count` cells from cell `first`, all between colours `lower` and `upper`. Written so that
    // the compiler vectorises it: the rounding of channel_byte, with the byte read from the low
    // bits of the rounded double instead of a conversion.
    [[gnu::always_inline]] void fill_band(uint32_t* out, int first, int count, int lower, int upper,
                                          double inverse_cells, const uint64_t shift[4]) const {
        const double low = stops_[lower];
        double span = stops_[upper] - low;
        if (span <= 0.0) span = 1.0;  // one colour on both ends: the fraction does not count
        double start[4], change[4];
        for (int c = 0; c < 4; ++c) {
            start[c] = colours_[lower][c];
            change[c] = colours_[upper][c] - start[c];
        }
        for (int i = 0; i < count; ++i) {
            const double fraction = ((first + i + 0.5) * inverse_cells - low) / span;
            uint64_t word = 0;
            for (int c = 0; c < 4; ++c) {
                double x = change[c] * fraction + start[c];
                x = x > 0.0 ? x : 0.0;
                x = x < 1.0 ? x : 1.0;
                const double rounded = x * 255.0 + 0x1.8p52;
                uint64_t bits;
                std::memcpy(&bits, &rounded, sizeof bits);
                word |= (bits & 0xFF) << shift[c];
            }
            out[i] = static_cast<uint32_t>(word);
        }
    }

    // The number of stops at or below t.
    int stops_at_or_below(double t) const {
        return static_cast<int>(std::upper_bound(stops_, stops_ + count_, t) - stops_);
    }

    // The largest change of a channel in 8-bit steps per unit of t in the band after stop i.
    double slope(int band) const {
        const double width = stops_[band + 1] - stops_[band];
        if (!(width > 0.0)) return 0.0;
        return channel_change(band, band + 1) * 255.0 / width;
    }

    // A band whose colour changes by more than half a step across half a cell.
    bool steep(int band) const { return slope(band) * 0.5 / cells_ > 0.5; }

    // As many cells as the steepest band needs for a pixel to stay within half a step of its
    // cell's middle colour, 4096 to 65536.
    void size_ramp() {
        double needed = 0.0;
        for (int band = 0; band + 1 < count_; ++band) needed = std::max(needed, slope(band));
        cells_ = kRampMinCells;
        while (cells_ < needed && cells_ < kRampMaxCells) cells_ *= 2;
    }

    int count_ = 0;
    int cells_ = kRampMinCells;
    double stops_[kMaxColors] = {};
    double colours_[kMaxColors][4] = {};
};

// ---- Position along the gradient --------------------------------------------------------------

// t over a width x height grid of pixel centres for the shader's uniform values. Linear: t is
// affine in the pixel position; radial: the length of an affine vector. `constant()`: t is 0
// everywhere (no colour position is defined).
class Geometry {
  public:
    Geometry(int32_t gradient_type, float angle, float center_x, float center_y, float size_w,
             float size_h, int width, int height)
        : w_(size_w), h_(size_h), width_(width), height_(height), radial_(gradient_type != 0) {
        const bool with_size = std::isfinite(w_) && std::isfinite(h_);
        if (!radial_) {
            // The angle reduced to 0..360 and turned to radians in 32-bit steps.
            if (!std::isfinite(angle)) return;  // no direction
            const double turns = std::floor(narrow_to_float(static_cast<double>(angle) / 360.0));
            const float reduced =
                narrow_to_float(angle - static_cast<double>(narrow_to_float(360.0 * turns)));
            const float radians = narrow_to_float(
                static_cast<double>(reduced) *
                static_cast<double>(static_cast<float>(3.14159265358979323846 / 180.0)));
            if (!std::isfinite(radians)) return;
            // The four axis directions exactly: cos(radians(90)) is not 0 in any precision, and
            // a slant of a few 1e-8 would put the pixel centres of a row on a hard edge on
            // both sides of it across a wide picture.
            if (reduced == 0.0f || reduced == 180.0f) {
                dx_ = reduced == 0.0f ? 1.0 : -1.0;
            } else if (reduced == 90.0f || reduced == 270.0f) {
                dy_ = reduced == 90.0f ? 1.0 : -1.0;
            } else {
                dx_ = std::cos(static_cast<double>(radians));
                dy_ = std::sin(static_cast<double>(radians));
            }
            length_ = std::fabs(w_ * dx_) + std::fabs(h_ * dy_);
            constant_ = !(with_size && length_ > 0.0);
        } else {
            cx_ = static_cast<double>(center_x) * w_;
            cy_ = static_cast<double>(center_y) * h_;
            // Per axis the farther edge; together they make the farthest corner.
            radius_ = std::hypot(py_max(std::fabs(cx_), std::fabs(w_ - cx_)),
                                 py_max(std::fabs(cy_), std::fabs(h_ - cy_)));
            constant_ = !(with_size && std::isfinite(radius_) && radius_ > 0.0);
        }
    }

    bool constant() const { return constant_; }
    bool radial() const { return radial_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // t at the centre of pixel (col, row), in double, NaN as 0, clamped to 0..1.
    double t_at(int col, int row) const {
        if (constant_) return 0.0;
        const double x = (col + 0.5) / width_ * w_;
        const double y = (row + 0.5) / height_ * h_;
        double t;
        if (radial_) {
            t = std::hypot(x - cx_, y - cy_) / radius_;
        } else {
            t = 0.5 + ((x - 0.5 * w_) * dx_ + (y - 0.5 * h_) * dy_) / length_;
        }
        if (std::isnan(t)) return 0.0;
        return std::min(std::max(t, 0.0), 1.0);
    }

    // The ramp's path: float32 column and row terms whose combination is t * cells, their sum
    // (linear) or the square root of their sum (radial, squares of the scaled offsets).
    void scaled_axes(int cells, float* across, float* down) const {
        const double scale = cells / (radial_ ? radius_ : length_);
        for (int col = 0; col < width_; ++col) {
            const double x = (col + 0.5) / width_ * w_;
            double v;
            if (radial_) {
                const double offset = (x - cx_) * scale;
                v = offset * offset;
            } else {
                v = (x - 0.5 * w_) * (dx_ * scale);
            }
            across[col] = narrow_to_float(v);
        }
        for (int row = 0; row < height_; ++row) {
            const double y = (row + 0.5) / height_ * h_;
            double v;
            if (radial_) {
                const double offset = (y - cy_) * scale;
                v = offset * offset;
            } else {
                v = 0.5 * cells + (y - 0.5 * h_) * (dy_ * scale);
            }
            down[row] = narrow_to_float(v);
        }
    }

  private:
    double w_, h_;
    int width_, height_;
    bool radial_;
    bool constant_ = true;
    double dx_ = 0.0, dy_ = 0.0, length_ = 0.0;
    double cx_ = 0.0, cy_ = 0.0, radius_ = 0.0;
};

// The ramp cell of a combined term (t * cells), truncated; below 0 (or NaN) the first cell,
// past the end the last.
inline int32_t ramp_cell(float scaled, float last_cell) {
    float v = scaled > 0.0f ? scaled : 0.0f;
    v = v < last_cell ? v : last_cell;
    return static_cast<int32_t>(v);
}

// Does a picture of this many pixels take the exact path rather than the ramp?
inline bool painted_exactly(int64_t pixels, int cells) {
    return pixels <= cells / kRampCellsPerExactPixel;
}

}  // namespace zorva::picture
