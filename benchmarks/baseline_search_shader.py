"""The gradient shader as it was before its fragment stage read a ramp built by the rendering
layer, searching the stops at every pixel instead: the baseline of the picture benchmarks (the
1000-button frame and generate_texture against pycairo), and the exact shader the moderngl peer
runs, as that peer has no layer to build ramps. Kept verbatim below this note."""

# Length of the "colors" and "stops" uniform arrays. A longer colour list is drawn up to this
# many, and the call that sets it warns (both renderers). It stays 64: the arrays take 512 of the
# 1024 fragment uniform components OpenGL 3.3 guarantees (a float array element fills a vec4 slot
# on many drivers), so twice as many would not link everywhere.
MAX_COLORS = 64

# The rendering layer's vertex interface: corners in target pixels (attribute 0), texture
# coordinates of the source rectangle (1), the tint (2); `mvp` maps target pixels to clip space.
# Drawing the whole 1x1 blank texture makes vertexTexCoord run 0..1 across the destination
# rectangle, (0, 0) at its top-left corner, y down.
#
# Everything that depends on the uniforms alone is worked out here, once per vertex, instead of
# once per pixel: the position t along the gradient is affine in the pixel position for a linear
# gradient and the length of an affine vector for a radial one, so the vertex stage hands the
# fragment stage that vector to interpolate, with the clamped alpha and a few flags as flat
# values. fragTexCoord and fragColor are still passed as the layer's default stage passes them.
_VERTEX_SHADER = """#version 330 core
#define MAX_COLORS @MAX_COLORS@

in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec4 vertexColor;

uniform mat4 mvp;
uniform int gradientType;
uniform float angle;
uniform vec2 centerPos;
uniform float stops[MAX_COLORS];
uniform int colorCount;
uniform float alpha;
uniform vec2 size;

out vec2 fragTexCoord;
out vec4 fragColor;
// Linear: (t, 0); radial: (p - c) / R, whose length is t. Not clamped, may be negative.
out vec2 gradientPoint;
// Bit 0: radial. Bit 1: the stops are already sorted, in 0..1 and not NaN. Bits 2 and up: the
// colour count, clamped to 0..MAX_COLORS.
flat out int gradientFlags;
// `alpha` clamped to 0..1 (NaN: 0), and 0 when there are no colours.
flat out float gradientAlpha;
// For sorted stops: int(t * x + y) is about the number of stops at or below t, exact for stops
// spread evenly between the second and the last but one.
flat out vec2 gradientGuess;

bool finite(float x)
{
    return !isnan(x) && !isinf(x);
}

void main()
{
    fragTexCoord = vertexTexCoord;
    fragColor = vertexColor;
    gl_Position = mvp * vec4(vertexPosition, 1.0);

    vec2 p = vertexTexCoord * size;
    vec2 point = vec2(0.0);
    int flags = 0;
    if (gradientType == 0) {
        float reduced = angle - 360.0 * floor(angle / 360.0);
        float a = radians(reduced);
        vec2 dir = vec2(cos(a), sin(a));
        // The four axis directions exactly: the slant of a rounded cos(radians(90)) would put
        // the pixel centres of a row on a hard edge on both sides of it.
        if (reduced == 0.0 || reduced == 180.0)
            dir = vec2(reduced == 0.0 ? 1.0 : -1.0, 0.0);
        else if (reduced == 90.0 || reduced == 270.0)
            dir = vec2(0.0, reduced == 90.0 ? 1.0 : -1.0);
        float len = abs(size.x * dir.x) + abs(size.y * dir.y);
        if (len > 0.0)
            point.x = 0.5 + dot(p - 0.5 * size, dir) / len;
    } else {
        flags = 1;
        vec2 c = centerPos * size;
        // Per axis the farther edge; together they make the farthest corner.
        float r = length(max(abs(c), abs(size - c)));
        if (r > 0.0)
            point = (p - c) / r;
    }
    // A NaN angle or centre makes t NaN everywhere, which counts as 0.
    if (!finite(point.x) || !finite(point.y))
        point = vec2(0.0);
    gradientPoint = point;

    int count = clamp(colorCount, 0, MAX_COLORS);
    bool clean = true;
    float previous = 0.0;
    for (int i = 0; i < count; ++i) {
        float s = stops[i];
        if (isnan(s) || s < previous || s > 1.0)
            clean = false;
        previous = s;
    }
    // Interior stops of n evenly weighted colours sit at (i + 0.5) / n: then k = int(t * n + 0.5).
    // Other weights move them; a line through the second and the last but one stop follows.
    vec2 guess = vec2(float(count), 0.5);
    if (clean && count >= 4) {
        float spread = stops[count - 2] - stops[1];
        float scale = float(count - 3) / spread;
        if (spread > 0.0 && scale <= float(MAX_COLORS * 65536))
            guess = vec2(scale, 2.0 - stops[1] * scale);
    }
    gradientGuess = guess;
    if (clean)
        flags |= 2;
    gradientFlags = flags | (count << 2);
    gradientAlpha = count == 0 || isnan(alpha) ? 0.0 : clamp(alpha, 0.0, 1.0);
}
""".replace("@MAX_COLORS@", str(MAX_COLORS))

# No special path for few colours: a software rasteriser runs both sides of every branch and
# every loop body at least once, whatever the condition, so a two-colour path without indexed
# reads only adds to the general one (measured: 1.3 to 1.5x the cost of this stage). What is
# left for two colours is the four indexed reads of the stops and colours; an indexed read of
# a uniform array costs a software rasteriser about as much as the whole two-colour blend.
_FRAGMENT_SHADER = """#version 330 core
// The gradient, defined once (the CPU renderer follows the same rules):
//
// Coordinates: pixel centres of the destination rectangle (w x h = `size`), origin at its
// top-left corner, y down. p = fragTexCoord * size, where fragTexCoord runs 0..1 across the
// drawn quad with (0, 0) at its top-left corner.
//
// Position t along the gradient:
//   linear (gradientType 0): the gradient line passes through the rectangle's centre c at
//     `angle` degrees (0 right, 90 down), reduced to 0..360 first; dir = (cos, sin), exact
//     at 0, 90, 180 and 270;
//     length L = |w cos| + |h sin| (so t runs 0..1 from corner to corner, as in CSS);
//     t = 0.5 + dot(p - c, dir) / L.
//   radial (any other gradientType): c = centerPos * size (centerPos 0..1 of the rectangle);
//     t = |p - c| / R, R the distance from c to the farthest corner.
//   A denominator that is not positive (empty rectangle) gives t = 0; a NaN t (NaN angle or
//   centre) gives t = 0; t is clamped to 0..1.
//
// Stops, sanitised in order: a NaN stop takes the value of the stop before it (the first: 0);
// each is clamped to 0..1; each is raised to at least the stop before it. So unsorted stops
// such as [1, 0.5, 0] become [1, 1, 1], and stops are never read out of order.
//
// Colour at t: colours are clamped to 0..1 per channel (NaN: 0) and premultiplied
// (rgb * a, a). Before the first stop: the first colour. At or after stop i and before stop
// i+1: interpolated between colours i and i+1 by (t - s_i) / (s_(i+1) - s_i); equal stops give
// a hard edge, the later colour winning at the edge. At or after the last stop: the last colour.
// The colour is looked up at min(t + 2^-20, 1): t computed in floating point may land a rounding
// error short of an edge that a pixel centre lies on exactly.
//
// Count: colorCount is clamped to 0..MAX_COLORS, so neither array is read out of bounds;
// 0 colours paint transparent (0, 0, 0, 0).
//
// Output: premultiplied colour times `alpha`, alpha clamped to 0..1 (NaN: 0). The rendering
// layer says through `outputPremultiplied` whether the blending in force takes premultiplied
// colour; when it takes straight colour the same colour is written with rgb divided by alpha,
// so it composites the same.
// The vertex colour (the draw tint) is not used.
//
// The vertex stage of this program (GradientShader.VERTEX_SHADER) works out everything that
// depends on the uniforms alone; this stage needs it.
//
// Finding the interval: k, the number of sanitised stops at or below t, is 0 before the first
// stop, `count` at or after the last, and otherwise t lies between stops k-1 and k. The
// sanitised stops are the running maximum of the clamped stops with NaN counting as 0, so k is
// also the index of the first stop above t. For stops that need no clean-up (the usual case)
// the search starts from where t would fall if the stops between the second and the last but
// one were spread evenly (gradientGuess) and steps to the right interval, which for such stops
// takes no step at all; for stops that need clean-up it walks up from the first stop, keeping
// the running maximum as the stop below t.

#define MAX_COLORS @MAX_COLORS@
// Every t is looked up this much further along (2^-20), so that rounding cannot put a pixel
// centre that lies on a hard edge before it.
#define EDGE_SNAP 9.5367431640625e-07

in vec2 gradientPoint;
flat in int gradientFlags;
flat in float gradientAlpha;
flat in vec2 gradientGuess;

uniform vec4 colors[MAX_COLORS];
uniform float stops[MAX_COLORS];
// Set by the rendering layer at every draw (not by the gradient module).
uniform int outputPremultiplied;

out vec4 finalColor;

vec4 premultiplied(vec4 c)
{
    c = clamp(mix(c, vec4(0.0), isnan(c)), 0.0, 1.0);
    return vec4(c.rgb * c.a, c.a);
}

void main()
{
    float t = (gradientFlags & 1) != 0 ? length(gradientPoint) : gradientPoint.x;
    if (isnan(t))
        t = 0.0;
    // Taken EDGE_SNAP further along: a pixel centre on a hard edge whose t came out a rounding
    // error short of it still takes the later colour.
    t = min(clamp(t, 0.0, 1.0) + EDGE_SNAP, 1.0);

    bool clean = (gradientFlags & 2) != 0;
    int count = gradientFlags >> 2;
    // Indices stay in 0..last even with no colours (the result is then scaled by 0).
    int last = max(count - 1, 0);
    int guess = min(max(int(t * gradientGuess.x + gradientGuess.y), 1), last);
    int k = t >= 1.0 ? count : clean ? guess : 0;
    float above = 0.0;
    float below = 0.0;
    float runningMax = 0.0;
    // k moves one way only, so `count` steps always suffice; the bound only keeps a compiler
    // that assumes there are no NaNs from looping for ever.
    for (int steps = 0; steps <= MAX_COLORS; ++steps) {
        above = stops[min(k, last)];
        below = stops[max(k - 1, 0)];
        if (k < count && (above <= t || isnan(above))) {
            runningMax = max(runningMax, isnan(above) ? 0.0 : above);
            ++k;
        } else if (k > 0 && below > t) {
            --k;
        } else {
            break;
        }
    }
    float low = clean ? below : runningMax;
    float high = min(above, 1.0);
    vec4 upper = premultiplied(colors[min(k, last)]);
    vec4 lower = premultiplied(colors[max(k - 1, 0)]);
    vec4 result = k > 0 && k < count ? mix(lower, upper, (t - low) / (high - low)) : upper;
    result *= gradientAlpha;
    if (outputPremultiplied == 0 && result.a > 0.0)
        result.rgb /= result.a;
    finalColor = result;
}
""".replace("@MAX_COLORS@", str(MAX_COLORS))


class GradientShader:
    """Sources of the gradient program, one vertex and one fragment stage (GLSL 3.30 core)."""

    VERTEX_SHADER = _VERTEX_SHADER
    FRAGMENT_SHADER = _FRAGMENT_SHADER
    MAX_COLORS = MAX_COLORS
