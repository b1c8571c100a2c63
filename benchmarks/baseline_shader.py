"""The gradient shader as it was before the vertex stage took over the work that depends on the
uniforms alone: the baseline of the picture benchmark. Kept verbatim below this note."""

# Length of the "colors" and "stops" uniform arrays. A longer colour list is cut to this many.
MAX_COLORS = 64

# The rendering layer's vertex interface: corners in target pixels (attribute 0), texture
# coordinates of the source rectangle (1), the tint (2); `mvp` maps target pixels to clip space.
# Drawing the whole 1x1 blank texture makes fragTexCoord run 0..1 across the destination
# rectangle, (0, 0) at its top-left corner, y down.
_VERTEX_SHADER = """#version 330 core
in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec4 vertexColor;

uniform mat4 mvp;

out vec2 fragTexCoord;
out vec4 fragColor;

void main()
{
    fragTexCoord = vertexTexCoord;
    fragColor = vertexColor;
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
"""

_FRAGMENT_SHADER = """#version 330 core
// The gradient, defined once (the CPU renderer follows the same rules):
//
// Coordinates: pixel centres of the destination rectangle (w x h = `size`), origin at its
// top-left corner, y down. p = fragTexCoord * size, where fragTexCoord runs 0..1 across the
// drawn quad with (0, 0) at its top-left corner.
//
// Position t along the gradient:
//   linear (gradientType 0): the gradient line passes through the rectangle's centre c at
//     `angle` degrees (0 right, 90 down), reduced to 0..360 first; dir = (cos, sin);
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
//
// Count: colorCount is clamped to 0..MAX_COLORS, so neither array is read out of bounds;
// 0 colours paint transparent (0, 0, 0, 0).
//
// Output: premultiplied colour times `alpha`, alpha clamped to 0..1 (NaN: 0).
// The vertex colour (the draw tint) is not used.

#define MAX_COLORS @MAX_COLORS@

in vec2 fragTexCoord;
in vec4 fragColor;

uniform int gradientType;
uniform float angle;
uniform vec2 centerPos;
uniform vec4 colors[MAX_COLORS];
uniform float stops[MAX_COLORS];
uniform int colorCount;
uniform float alpha;
uniform vec2 size;

out vec4 finalColor;

float gradientPosition(vec2 p)
{
    float t;
    if (gradientType == 0) {
        float reduced = angle - 360.0 * floor(angle / 360.0);
        float a = radians(reduced);
        vec2 dir = vec2(cos(a), sin(a));
        float len = abs(size.x * dir.x) + abs(size.y * dir.y);
        t = len > 0.0 ? 0.5 + dot(p - 0.5 * size, dir) / len : 0.0;
    } else {
        vec2 c = centerPos * size;
        // Per axis the farther edge; together they make the farthest corner.
        vec2 far = max(abs(c), abs(size - c));
        float r = length(far);
        t = r > 0.0 ? length(p - c) / r : 0.0;
    }
    if (isnan(t))
        t = 0.0;
    return clamp(t, 0.0, 1.0);
}

float sanitizedStop(int i, float previous)
{
    float s = stops[i];
    if (isnan(s))
        s = previous;
    return max(clamp(s, 0.0, 1.0), previous);
}

vec4 premultiplied(vec4 c)
{
    c = clamp(mix(c, vec4(0.0), isnan(c)), 0.0, 1.0);
    return vec4(c.rgb * c.a, c.a);
}

void main()
{
    int count = clamp(colorCount, 0, MAX_COLORS);
    if (count == 0) {
        finalColor = vec4(0.0);
        return;
    }
    float t = gradientPosition(fragTexCoord * size);

    float previousStop = sanitizedStop(0, 0.0);
    vec4 previousColor = premultiplied(colors[0]);
    vec4 result = previousColor;
    for (int i = 1; i < count; ++i) {
        float s = sanitizedStop(i, previousStop);
        vec4 c = premultiplied(colors[i]);
        if (t >= s) {
            result = c;
        } else {
            if (t >= previousStop)
                result = mix(previousColor, c, (t - previousStop) / (s - previousStop));
            break;
        }
        previousStop = s;
        previousColor = c;
    }

    float a = isnan(alpha) ? 0.0 : clamp(alpha, 0.0, 1.0);
    finalColor = result * a;
}
""".replace("@MAX_COLORS@", str(MAX_COLORS))


class GradientShader:
    """Sources of the gradient program, one vertex and one fragment stage (GLSL 3.30 core)."""

    VERTEX_SHADER = _VERTEX_SHADER
    FRAGMENT_SHADER = _FRAGMENT_SHADER
    MAX_COLORS = MAX_COLORS
