"""GLSL sources of the shared gradient shader.

Every gradient of the process is painted by this one program: a 1x1 blank texture is drawn over
the destination rectangle and the program computes the gradient from eight uniforms: the vertex
stage works out what depends on the uniforms alone, the fragment stage what depends on the
pixel, so the two stages go together. The fragment stage reads the colours between the stops
from a ramp texture that the rendering layer builds from the uploaded uniforms
(`gradientRamp`, see raylib/SHADER_INTERFACE.md), so the program is drawn through the layer.
The definition is written in docs/gradients.md; the CPU renderer (`zorva_ui.rendering.pygame.
gradient`, whose native model is fast/picture/gradient_model.h) follows the same text. Keep them
in step (the pixel tests compare both with a reference and with each other).
"""

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
# fragment stage that vector to interpolate, with the clamped alpha as a flat value. fragTexCoord
# and fragColor are still passed as the layer's default stage passes them.
_VERTEX_SHADER = """#version 330 core
#define MAX_COLORS @MAX_COLORS@

in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec4 vertexColor;

uniform mat4 mvp;
uniform int gradientType;
uniform float angle;
uniform vec2 centerPos;
uniform vec4 colors[MAX_COLORS];
uniform float stops[MAX_COLORS];
uniform int colorCount;
uniform float alpha;
uniform vec2 size;

out vec2 fragTexCoord;
out vec4 fragColor;
// Linear: (t, 0); radial: (p - c) / R, whose length is t. Not clamped, may be negative.
out vec2 gradientPoint;
// 1: radial.
flat out int gradientRadial;
// `alpha` clamped to 0..1 (NaN: 0), and 0 when there are no colours.
flat out float gradientAlpha;

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
    gradientRadial = gradientType == 0 ? 0 : 1;

    // `colors` and `stops` are read here, once per vertex where it costs nothing, so that they
    // stay active uniforms: the rendering layer builds the ramp from what is uploaded to them,
    // and callers look their locations up. What is read is folded into the alpha in a way that
    // never changes it: the largest stop and the last colour's alpha, each taken as 0..1 (NaN
    // fails every comparison, so it is never taken), only ever raise a bound of at least 1.
    int count = clamp(colorCount, 0, MAX_COLORS);
    float largest = 0.0;
    for (int i = 0; i < count; ++i) {
        float s = stops[i];
        largest = s > largest ? min(s, 1.0) : largest;
    }
    float lastAlpha = colors[max(count - 1, 0)].a;
    float bound = 1.0 + largest + (lastAlpha > 0.0 ? min(lastAlpha, 1.0) : 0.0);
    gradientAlpha = count == 0 || isnan(alpha) ? 0.0 : min(clamp(alpha, 0.0, 1.0), bound);
}
""".replace("@MAX_COLORS@", str(MAX_COLORS))

# One texture read a pixel and no search: a software rasteriser runs both sides of every branch
# and every loop body at least once, whatever the condition (measured again for this shape:
# a search for the stops under an `if` that no pixel takes costs as much as the search), so the
# stops cannot be searched only where a ramp cannot help. The rendering layer builds the ramp
# from the uploaded `colors`, `stops` and `colorCount` instead, and every ramp cell carries what
# its pixels need to be coloured from their exact t, hard edges included.
_FRAGMENT_SHADER = """#version 330 core
// The gradient, defined once (docs/gradients.md; the CPU renderer follows the same rules):
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
// Count: colorCount is clamped to 0..MAX_COLORS; 0 colours paint transparent (0, 0, 0, 0).
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
// The colour at t comes from a ramp that the rendering layer builds from the values uploaded
// to `colors`, `stops` and `colorCount`, and points the program at before every draw
// (SHADER_INTERFACE.md): cells gradientRampCells.x .. + gradientRampCells.y of the buffer
// texture `gradientRamp`, running along t (cell = floor(t * cells)). A cell holds a span of the
// colour line: two premultiplied colours packed as bytes (red lowest) and, as float bits, where
// the span starts and 1 / its length; the colours are mixed by clamp((t - start) / length, 0,
// 1): a band between two stops, or a hard edge (start just below it, 1 / length 2^100). A cell
// inside one band holds that band, so its pixels get the colour of their exact t.

// Every t is looked up this much further along (2^-20), so that rounding cannot put a pixel
// centre that lies on a hard edge before it.
#define EDGE_SNAP 9.5367431640625e-07

in vec2 gradientPoint;
flat in int gradientRadial;
flat in float gradientAlpha;

// Set by the rendering layer at every draw (not by the gradient module).
uniform usamplerBuffer gradientRamp;
uniform ivec2 gradientRampCells;
uniform int outputPremultiplied;

out vec4 finalColor;

vec4 unpacked(uint bytes)
{
    return vec4((uvec4(bytes) >> uvec4(0u, 8u, 16u, 24u)) & 255u) * (1.0 / 255.0);
}

void main()
{
    float t = gradientRadial != 0 ? length(gradientPoint) : gradientPoint.x;
    if (isnan(t))
        t = 0.0;
    // Taken EDGE_SNAP further along: a pixel centre on a hard edge whose t came out a rounding
    // error short of it still takes the later colour.
    t = min(clamp(t, 0.0, 1.0) + EDGE_SNAP, 1.0);

    int cells = gradientRampCells.y;
    int index = clamp(int(t * float(cells)), 0, max(cells - 1, 0));
    uvec4 cell = texelFetch(gradientRamp, gradientRampCells.x + index);
    vec2 span = uintBitsToFloat(cell.zw);
    float f = clamp((t - span.x) * span.y, 0.0, 1.0);
    vec4 result = mix(unpacked(cell.x), unpacked(cell.y), f) * gradientAlpha;
    // Straight colour for blending that takes it: one reciprocal rather than three divisions.
    float unpremultiply = outputPremultiplied == 0 && result.a > 0.0 ? 1.0 / result.a : 1.0;
    result.rgb *= unpremultiply;
    finalColor = result;
}
"""


class GradientShader:
    """Sources of the gradient program, one vertex and one fragment stage (GLSL 3.30 core)."""

    VERTEX_SHADER = _VERTEX_SHADER
    FRAGMENT_SHADER = _FRAGMENT_SHADER
    MAX_COLORS = MAX_COLORS
