// One RGBA colour (or any four-float record) as the shader uniforms take it.
#pragma once

namespace zorva {

struct Vector4 {
    float x;
    float y;
    float z;
    float w;
};

}  // namespace zorva
