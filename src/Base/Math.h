#pragma once
// Vectors, matrices, quaternions and dual quaternions (glm), and their
// printing in the log streams: Vector(0, 5, 9, 0), Matrix(...),
// Quaternion({x, y, z}, w).

#include <string>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/quaternion.hpp>
#include <glm/gtx/dual_quaternion.hpp>

#include <fmt/format.h>

#include "Base/Log.h"

namespace ZandelleEngine {

using Vector2 = glm::vec2;
using Vector3 = glm::vec3;
using Vector4 = glm::vec4;
using Vector2i = glm::ivec2;
using Vector3i = glm::ivec3;
using Vector4i = glm::ivec4;
using Matrix3 = glm::mat3;
using Matrix4 = glm::mat4;
using Quaternion = glm::quat;
using DualQuaternion = glm::dualquat;

namespace Implementation {
template<class T> std::string formatComponent(T value) {
    if constexpr(std::is_floating_point_v<T>) return fmt::format("{:.6g}", value);
    else return fmt::format("{}", value);
}
}

template<glm::length_t N, class T, glm::qualifier Q> Debug& operator<<(Debug& debug, const glm::vec<N, T, Q>& v) {
    std::string text = "Vector(";
    for(glm::length_t i = 0; i != N; ++i) {
        if(i) text += ", ";
        text += Implementation::formatComponent(v[i]);
    }
    text += ")";
    return debug.printValue(text);
}

/* Rows on separate lines would break the one-line rule: a matrix prints its
   rows separated by commas, columns inside a row by spaces. */
template<glm::length_t C, glm::length_t R, class T, glm::qualifier Q> Debug& operator<<(Debug& debug, const glm::mat<C, R, T, Q>& m) {
    std::string text = "Matrix(";
    for(glm::length_t r = 0; r != R; ++r) {
        if(r) text += ", ";
        for(glm::length_t c = 0; c != C; ++c) {
            if(c) text += " ";
            text += Implementation::formatComponent(m[c][r]);
        }
    }
    text += ")";
    return debug.printValue(text);
}

template<class T, glm::qualifier Q> Debug& operator<<(Debug& debug, const glm::qua<T, Q>& q) {
    return debug.printValue(fmt::format("Quaternion({{{}, {}, {}}}, {})",
        Implementation::formatComponent(q.x), Implementation::formatComponent(q.y),
        Implementation::formatComponent(q.z), Implementation::formatComponent(q.w)));
}


}
