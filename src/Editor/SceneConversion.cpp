#include "Editor/SceneConversion.h"

#include <cstring>

#include <assimp/scene.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/SceneFileCheck.h"
#include "Engine/ImageLoad.h"

namespace ZandelleEngine { namespace SceneConversion {

namespace {

using Trade::MeshAttribute;
using Trade::VertexFormat;

template<class T> void appendBytes(std::vector<std::uint8_t>& out, const T* data, std::size_t count) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + count*sizeof(T));
}

/* Attributes are stored one after another, each tightly packed; @p fill
   writes the components of vertex i */
template<std::size_t components, class Fill> void addAttribute(Trade::MeshData& mesh, MeshAttribute name,
    VertexFormat format, std::uint32_t set, Fill fill) {
    static_assert(components*sizeof(float) <= 16);
    const std::size_t offset = mesh.vertexData.size();
    mesh.attributes.push_back({name, format, std::uint32_t(offset), std::uint32_t(components*sizeof(float)), set});
    mesh.vertexData.resize(offset + components*sizeof(float)*mesh.vertexCount);
    std::uint8_t* out = mesh.vertexData.data() + offset;
    float values[components];
    for(std::size_t i = 0; i != mesh.vertexCount; ++i, out += sizeof(values)) {
        fill(i, values);
        std::memcpy(out, values, sizeof(values));
    }
}

}

Matrix4 toMatrix(const aiMatrix4x4& m) {
    Matrix4 out;
    for(int c = 0; c != 4; ++c) for(int r = 0; r != 4; ++r) out[c][r] = m[r][c];
    return out;
}

Trade::MeshData convertMesh(const aiMesh& m, std::vector<std::string>& jointNodes) {
    Trade::MeshData mesh;
    mesh.vertexCount = m.mNumVertices;
    const unsigned types = m.mPrimitiveTypes;
    unsigned corners = 3;
    if(types == aiPrimitiveType_POINT) { mesh.primitive = Trade::MeshPrimitive::Points; corners = 1; }
    else if(types == aiPrimitiveType_LINE) { mesh.primitive = Trade::MeshPrimitive::Lines; corners = 2; }

    std::vector<std::uint32_t> indices;
    indices.reserve(std::size_t(m.mNumFaces)*corners);
    for(unsigned f = 0; f != m.mNumFaces; ++f) {
        const aiFace& face = m.mFaces[f];
        if(face.mNumIndices != corners) continue;
        indices.insert(indices.end(), face.mIndices, face.mIndices + corners);
    }
    mesh.indexType = Trade::IndexType::UnsignedInt;
    appendBytes(mesh.indexData, indices.data(), indices.size());

    const std::size_t n = m.mNumVertices;
    /* Room for positions, normals, tangents, two texture coordinate sets,
       colours and skinning, so that appending rarely moves the data */
    mesh.vertexData.reserve(n*96);
    auto vector3 = [](const aiVector3D* v) {
        return [v](std::size_t i, float* out) { out[0] = v[i].x; out[1] = v[i].y; out[2] = v[i].z; };
    };
    addAttribute<3>(mesh, MeshAttribute::Position, VertexFormat::Vector3, 0, vector3(m.mVertices));
    if(m.mNormals)
        addAttribute<3>(mesh, MeshAttribute::Normal, VertexFormat::Vector3, 0, vector3(m.mNormals));
    if(m.mTangents && m.mBitangents && m.mNormals) {
        /* Handedness from the bitangent the file gave */
        addAttribute<4>(mesh, MeshAttribute::Tangent, VertexFormat::Vector4, 0, [&](std::size_t i, float* out) {
            const aiVector3D& t = m.mTangents[i];
            out[0] = t.x; out[1] = t.y; out[2] = t.z;
            out[3] = (m.mNormals[i] ^ t)*m.mBitangents[i] < 0.0f ? -1.0f : 1.0f;
        });
    }
    for(unsigned set = 0; set != AI_MAX_NUMBER_OF_TEXTURECOORDS && m.mTextureCoords[set]; ++set) {
        const aiVector3D* uv = m.mTextureCoords[set];
        addAttribute<2>(mesh, MeshAttribute::TextureCoordinates, VertexFormat::Vector2, set,
            [uv](std::size_t i, float* out) { out[0] = uv[i].x; out[1] = uv[i].y; });
    }
    if(const aiColor4D* colors = m.mColors[0]) {
        addAttribute<4>(mesh, MeshAttribute::Color, VertexFormat::Vector4, 0, [colors](std::size_t i, float* out) {
            out[0] = colors[i].r; out[1] = colors[i].g; out[2] = colors[i].b; out[3] = colors[i].a;
        });
    }

    if(m.mNumBones) {
        std::vector<std::uint16_t> joints(n*4, 0);
        std::vector<float> weights(n*4, 0.0f);
        std::vector<std::uint8_t> used(n, 0);
        for(unsigned b = 0; b != m.mNumBones; ++b) {
            const aiBone& bone = *m.mBones[b];
            jointNodes.emplace_back(bone.mName.C_Str());
            for(unsigned w = 0; w != bone.mNumWeights; ++w) {
                const aiVertexWeight& vw = bone.mWeights[w];
                if(vw.mVertexId >= n || used[vw.mVertexId] == 4) continue;
                const std::size_t slot = std::size_t(vw.mVertexId)*4 + used[vw.mVertexId]++;
                joints[slot] = std::uint16_t(b);
                weights[slot] = vw.mWeight;
            }
        }
        mesh.attributes.push_back({MeshAttribute::JointIds, VertexFormat::Vector4us,
            std::uint32_t(mesh.vertexData.size()), 8, 0});
        appendBytes(mesh.vertexData, joints.data(), joints.size());
        addAttribute<4>(mesh, MeshAttribute::Weights, VertexFormat::Vector4, 0,
            [&weights](std::size_t i, float* out) { std::memcpy(out, weights.data() + 4*i, 16); });
    }
    return mesh;
}

ImportedImage importImage(const aiScene& scene, const std::string& reference, const std::string& sceneDirectory,
    const std::string& sceneLink) {
    ImportedImage out;
    std::string error;
    if(const aiTexture* texture = scene.GetEmbeddedTexture(reference.c_str())) {
        std::size_t embedded = 0;
        while(embedded != scene.mNumTextures && scene.mTextures[embedded] != texture) ++embedded;
        out.linkName = "image_" + std::to_string(embedded);
        if(texture->mHeight == 0) {
            out.image = loadImageData(texture->pcData, texture->mWidth, error);
        } else {
            /* Uncompressed texels, BGRA, rows top to bottom */
            Trade::ImageData image;
            image.size = Vector2i{int(texture->mWidth), int(texture->mHeight)};
            image.data.resize(std::size_t(texture->mWidth)*texture->mHeight*4);
            for(std::size_t y = 0; y != texture->mHeight; ++y) for(std::size_t x = 0; x != texture->mWidth; ++x) {
                const aiTexel& t = texture->pcData[y*texture->mWidth + x];
                std::uint8_t* p = image.data.data() + ((texture->mHeight - 1 - y)*texture->mWidth + x)*4;
                p[0] = t.r; p[1] = t.g; p[2] = t.b; p[3] = t.a;
            }
            out.image = std::move(image);
        }
    } else {
        /* Files often name their images by a path that only existed where
           they were made; the file name beside the scene is the second try.
           Only regular files inside the scene's folder are opened. */
        out.linkName = Path::fromNativeSeparators(reference);
        const std::string imagePath = Path::join(sceneDirectory, out.linkName);
        std::optional<std::string> file = SceneFileCheck::regularFileInside(sceneDirectory, out.linkName);
        if(!file) file = SceneFileCheck::regularFileInside(sceneDirectory, Path::filename(out.linkName));
        if(file) out.image = loadImageFile(*file, error);
        else if(Path::exists(imagePath)) {
            Warning{} << "SceneLoader::loadScene(): Refusing image" << out.linkName << "from file" << sceneLink
                << Debug::nospace << ": not a regular file inside the model's folder";
            return out;
        } else out.image = loadImageFile(imagePath, error);
    }
    if(!out.image)
        Warning{} << "SceneLoader::loadScene(): Cannot load image" << out.linkName << "from file" << sceneLink
            << Debug::nospace << ":" << error;
    return out;
}

}}
