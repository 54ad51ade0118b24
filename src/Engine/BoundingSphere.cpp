#include "Engine/BoundingSphere.h"

#include <cmath>
#include <cstring>

namespace ZandelleEngine { namespace MeshTools {

std::pair<Vector3, float> boundingSphereBouncingBubble(std::span<const Vector3> points) {
    if(points.empty()) return {Vector3{0.0f}, 0.0f};

    /* Start as a tiny sphere around the first point; a zero radius would
       divide by zero below */
    Vector3 center = points[0];
    float radius = 1.0e-4f;
    float radiusSquared = radius*radius;

    for(int pass = 0; pass != 2; ++pass) {
        for(const Vector3& p: points) {
            const float distanceSquared = glm::dot(p - center, p - center);
            if(distanceSquared <= radiusSquared) continue;
            /* Bounce: the new sphere touches p and the far side of the old
               one, shrinking back towards the old centre as alpha grows */
            const float alpha = std::sqrt(radiusSquared/distanceSquared);
            const float alphaSquared = alpha*alpha;
            radius = 0.5f*(alpha + 1.0f/alpha)*radius;
            center = 0.5f*((1.0f + alphaSquared)*center + (1.0f - alphaSquared)*p);
            radiusSquared = radius*radius;
        }
    }

    for(const Vector3& p: points) {
        const Vector3 difference = p - center;
        const float distanceSquared = glm::dot(difference, difference);
        if(distanceSquared <= radiusSquared) continue;
        const float distance = std::sqrt(distanceSquared);
        radius = 0.5f*(radius + distance);
        center += ((distance - radius)/distance)*difference;
        radiusSquared = radius*radius;
    }

    return {center, radius};
}

std::vector<Vector3> positions3D(const Trade::MeshData& mesh) {
    std::vector<Vector3> out;
    const Trade::MeshAttributeData* a = mesh.attribute(Trade::MeshAttribute::Position);
    if(!a || a->format != Trade::VertexFormat::Vector3 || !mesh.vertexCount) return out;
    if(std::size_t(a->offset) + std::size_t(a->stride)*(mesh.vertexCount - 1) + 12 > mesh.vertexData.size()) return out;
    out.reserve(mesh.vertexCount);
    for(std::uint32_t i = 0; i != mesh.vertexCount; ++i) {
        float p[3];
        std::memcpy(p, mesh.vertexData.data() + a->offset + std::size_t(a->stride)*i, 12);
        out.emplace_back(p[0], p[1], p[2]);
    }
    return out;
}

}}
