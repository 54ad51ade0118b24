#include "Engine/Primitives.h"

#include <cmath>
#include <cstring>

namespace ZandelleEngine { namespace Primitives {

namespace {

constexpr float Pi = 3.14159265358979323846f;

/* Collects interleaved vertices and indices for one primitive */
class MeshBuilder {
    public:
        explicit MeshBuilder(std::uint32_t flags):
            _textureCoordinates{(flags & TextureCoordinates) != 0},
            _tangents{(flags & Tangents) != 0} {}

        std::uint32_t vertex(const Vector3& position, const Vector3& normal,
            const Vector2& textureCoordinates, const Vector4& tangent)
        {
            append(&position[0], 3);
            append(&normal[0], 3);
            if(_textureCoordinates) append(&textureCoordinates[0], 2);
            if(_tangents) append(&tangent[0], 4);
            return _vertexCount++;
        }

        std::uint32_t vertexCount() const { return _vertexCount; }

        void triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
            _indices.push_back(a);
            _indices.push_back(b);
            _indices.push_back(c);
        }

        /* Two triangles of the quad a-b (bottom edge, left to right) and
           d-c (top edge), counter-clockwise seen from the front */
        void quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
            triangle(a, b, c);
            triangle(a, c, d);
        }

        Trade::MeshData finish(Trade::MeshPrimitive primitive) {
            Trade::MeshData mesh;
            mesh.primitive = primitive;
            mesh.vertexCount = _vertexCount;
            const std::uint32_t stride = std::uint32_t(24 + (_textureCoordinates ? 8 : 0) + (_tangents ? 16 : 0));
            std::uint32_t offset = 0;
            mesh.attributes.push_back({Trade::MeshAttribute::Position, Trade::VertexFormat::Vector3, offset, stride});
            offset += 12;
            mesh.attributes.push_back({Trade::MeshAttribute::Normal, Trade::VertexFormat::Vector3, offset, stride});
            offset += 12;
            if(_textureCoordinates) {
                mesh.attributes.push_back({Trade::MeshAttribute::TextureCoordinates, Trade::VertexFormat::Vector2, offset, stride});
                offset += 8;
            }
            if(_tangents)
                mesh.attributes.push_back({Trade::MeshAttribute::Tangent, Trade::VertexFormat::Vector4, offset, stride});

            mesh.vertexData.resize(_floats.size()*sizeof(float));
            std::memcpy(mesh.vertexData.data(), _floats.data(), mesh.vertexData.size());
            /* 16-bit indices unless the vertex count needs more */
            if(_vertexCount <= 65536) {
                std::vector<std::uint16_t> indices(_indices.begin(), _indices.end());
                setIndices(mesh, Trade::IndexType::UnsignedShort, indices.data(), indices.size()*2);
            } else setIndices(mesh, Trade::IndexType::UnsignedInt, _indices.data(), _indices.size()*4);
            return mesh;
        }

    private:
        static void setIndices(Trade::MeshData& mesh, Trade::IndexType type, const void* data, std::size_t size) {
            if(!size) return;
            mesh.indexType = type;
            mesh.indexData.resize(size);
            std::memcpy(mesh.indexData.data(), data, size);
        }

        void append(const float* values, std::size_t count) {
            _floats.insert(_floats.end(), values, values + count);
        }

        bool _textureCoordinates, _tangents;
        std::vector<float> _floats;
        std::vector<std::uint32_t> _indices;
        std::uint32_t _vertexCount = 0;
};

/* Tangent of a surface of revolution around Y at angle @p angle: the
   direction of increasing angle, which is increasing U */
Vector4 aroundTangent(float angle) {
    return {std::cos(angle), 0.0f, -std::sin(angle), 1.0f};
}

/* One horizontal ring of @p segments + 1 vertices (the first repeated last
   so the texture seam has its own coordinates) */
void ring(MeshBuilder& b, std::uint32_t segments, float y, float radius, float v,
    float normalY, float normalRadius)
{
    for(std::uint32_t s = 0; s <= segments; ++s) {
        const float angle = 2.0f*Pi*float(s)/float(segments);
        const float sine = std::sin(angle), cosine = std::cos(angle);
        Vector3 normal{normalRadius*sine, normalY, normalRadius*cosine};
        b.vertex({radius*sine, y, radius*cosine}, glm::normalize(normal),
            {float(s)/float(segments), v}, aroundTangent(angle));
    }
}

/* Quads between two consecutive rings of segments + 1 vertices */
void connectRings(MeshBuilder& b, std::uint32_t lower, std::uint32_t upper, std::uint32_t segments) {
    for(std::uint32_t s = 0; s != segments; ++s)
        b.quad(lower + s, lower + s + 1, upper + s + 1, upper + s);
}

/* A flat disc closing a shape at height @p y, facing down (bottom) or up.
   Its texture coordinates map the disc onto the unit square as seen from
   outside. */
void cap(MeshBuilder& b, std::uint32_t segments, float y, bool bottom) {
    const float normalY = bottom ? -1.0f : 1.0f;
    const float vSign = bottom ? 1.0f : -1.0f;
    const Vector4 tangent{1.0f, 0.0f, 0.0f, 1.0f};
    const std::uint32_t center = b.vertex({0.0f, y, 0.0f}, {0.0f, normalY, 0.0f}, {0.5f, 0.5f}, tangent);
    const std::uint32_t first = b.vertexCount();
    for(std::uint32_t s = 0; s <= segments; ++s) {
        const float angle = 2.0f*Pi*float(s)/float(segments);
        const float x = std::sin(angle), z = std::cos(angle);
        b.vertex({x, y, z}, {0.0f, normalY, 0.0f}, {0.5f + 0.5f*x, 0.5f + 0.5f*vSign*z}, tangent);
    }
    for(std::uint32_t s = 0; s != segments; ++s) {
        if(bottom) b.triangle(center, first + s + 1, first + s);
        else b.triangle(center, first + s, first + s + 1);
    }
}

}

Trade::MeshData planeSolid(std::uint32_t flags) {
    MeshBuilder b{flags};
    const Vector3 normal{0.0f, 0.0f, 1.0f};
    const Vector4 tangent{1.0f, 0.0f, 0.0f, 1.0f};
    b.vertex({ 1.0f, -1.0f, 0.0f}, normal, {1.0f, 0.0f}, tangent);
    b.vertex({ 1.0f,  1.0f, 0.0f}, normal, {1.0f, 1.0f}, tangent);
    b.vertex({-1.0f, -1.0f, 0.0f}, normal, {0.0f, 0.0f}, tangent);
    b.vertex({-1.0f,  1.0f, 0.0f}, normal, {0.0f, 1.0f}, tangent);
    return b.finish(Trade::MeshPrimitive::TriangleStrip);
}

Trade::MeshData cubeSolid() {
    struct Face {
        Vector3 normal;
        Vector4 tangent;
        Vector3 positions[4];
        Vector2 textureCoordinates[4];
    };
    /* Four corners per face, counter-clockwise seen from outside */
    const Face faces[]{
        {{0, 0, 1}, {-1, 0, 0, 1}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
        {{1, 0, 0}, {0, 0, 1, 1}, {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
        {{0, 1, 0}, {1, 0, 0, 1}, {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}, {{1, 1}, {0, 1}, {0, 0}, {1, 0}}},
        {{0, 0, -1}, {1, 0, 0, 1}, {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
        {{0, -1, 0}, {-1, 0, 0, 1}, {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}, {{1, 0}, {0, 0}, {0, 1}, {1, 1}}},
        {{-1, 0, 0}, {0, 0, -1, 1}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
    };
    MeshBuilder b{TextureCoordinates|Tangents};
    for(const Face& face: faces) {
        const std::uint32_t first = b.vertexCount();
        for(int i = 0; i != 4; ++i)
            b.vertex(face.positions[i], face.normal, face.textureCoordinates[i], face.tangent);
        b.triangle(first + 0, first + 1, first + 2);
        b.triangle(first + 0, first + 2, first + 3);
    }
    return b.finish(Trade::MeshPrimitive::Triangles);
}

Trade::MeshData uvSphereSolid(std::uint32_t rings, std::uint32_t segments, std::uint32_t flags) {
    if(rings < 2) rings = 2;
    if(segments < 3) segments = 3;
    MeshBuilder b{flags};
    const Vector4 poleTangent{1.0f, 0.0f, 0.0f, 1.0f};

    const std::uint32_t bottom = b.vertex({0.0f, -1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, {0.5f, 0.0f}, poleTangent);
    for(std::uint32_t r = 1; r != rings; ++r) {
        const float latitude = Pi*float(r)/float(rings);
        const float y = -std::cos(latitude), radius = std::sin(latitude);
        ring(b, segments, y, radius, float(r)/float(rings), y, radius);
    }
    const std::uint32_t top = b.vertex({0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.5f, 1.0f}, poleTangent);

    const std::uint32_t firstRing = bottom + 1, ringSize = segments + 1;
    for(std::uint32_t s = 0; s != segments; ++s)
        b.triangle(bottom, firstRing + s + 1, firstRing + s);
    for(std::uint32_t r = 0; r + 2 < rings; ++r)
        connectRings(b, firstRing + r*ringSize, firstRing + (r + 1)*ringSize, segments);
    const std::uint32_t lastRing = firstRing + (rings - 2)*ringSize;
    for(std::uint32_t s = 0; s != segments; ++s)
        b.triangle(lastRing + s, lastRing + s + 1, top);
    return b.finish(Trade::MeshPrimitive::Triangles);
}

Trade::MeshData coneSolid(std::uint32_t rings, std::uint32_t segments, float halfLength, std::uint32_t flags) {
    if(rings < 1) rings = 1;
    if(segments < 3) segments = 3;
    MeshBuilder b{flags};
    if(flags & Caps) cap(b, segments, -halfLength, true);

    /* The side leans inwards: its normal tilts up by radius over length */
    const float normalY = 1.0f/(2.0f*halfLength);
    const std::uint32_t firstRing = b.vertexCount(), ringSize = segments + 1;
    for(std::uint32_t r = 0; r != rings; ++r) {
        const float t = float(r)/float(rings);
        ring(b, segments, -halfLength + 2.0f*halfLength*t, 1.0f - t, t, normalY, 1.0f);
    }
    /* The tip: one vertex per segment with the normal of the segment's
       middle, so no triangle there is degenerate */
    const std::uint32_t tip = b.vertexCount();
    for(std::uint32_t s = 0; s != segments; ++s) {
        const float angle = 2.0f*Pi*(float(s) + 0.5f)/float(segments);
        b.vertex({0.0f, halfLength, 0.0f},
            glm::normalize(Vector3{std::sin(angle), normalY, std::cos(angle)}),
            {(float(s) + 0.5f)/float(segments), 1.0f}, aroundTangent(angle));
    }

    for(std::uint32_t r = 0; r + 1 < rings; ++r)
        connectRings(b, firstRing + r*ringSize, firstRing + (r + 1)*ringSize, segments);
    const std::uint32_t lastRing = firstRing + (rings - 1)*ringSize;
    for(std::uint32_t s = 0; s != segments; ++s)
        b.triangle(lastRing + s, lastRing + s + 1, tip + s);
    return b.finish(Trade::MeshPrimitive::Triangles);
}

Trade::MeshData cylinderSolid(std::uint32_t rings, std::uint32_t segments, float halfLength, std::uint32_t flags) {
    if(rings < 1) rings = 1;
    if(segments < 3) segments = 3;
    MeshBuilder b{flags};
    if(flags & Caps) cap(b, segments, -halfLength, true);

    const std::uint32_t firstRing = b.vertexCount(), ringSize = segments + 1;
    for(std::uint32_t r = 0; r <= rings; ++r) {
        const float t = float(r)/float(rings);
        ring(b, segments, -halfLength + 2.0f*halfLength*t, 1.0f, t, 0.0f, 1.0f);
    }
    for(std::uint32_t r = 0; r != rings; ++r)
        connectRings(b, firstRing + r*ringSize, firstRing + (r + 1)*ringSize, segments);

    if(flags & Caps) cap(b, segments, halfLength, false);
    return b.finish(Trade::MeshPrimitive::Triangles);
}

Trade::MeshData circle3DSolid(std::uint32_t segments, std::uint32_t flags) {
    if(segments < 3) segments = 3;
    MeshBuilder b{flags};
    const Vector3 normal{0.0f, 0.0f, 1.0f};
    const Vector4 tangent{1.0f, 0.0f, 0.0f, 1.0f};
    b.vertex({0.0f, 0.0f, 0.0f}, normal, {0.5f, 0.5f}, tangent);
    for(std::uint32_t s = 0; s <= segments; ++s) {
        const float angle = 2.0f*Pi*float(s)/float(segments);
        const float x = std::cos(angle), y = std::sin(angle);
        b.vertex({x, y, 0.0f}, normal, {0.5f + 0.5f*x, 0.5f + 0.5f*y}, tangent);
    }
    return b.finish(Trade::MeshPrimitive::TriangleFan);
}

}}
