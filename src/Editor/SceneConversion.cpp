#include "Editor/SceneConversion.h"

#include <assimp/scene.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Engine/ImageLoad.h"

namespace ZandelleEngine { namespace SceneConversion {

namespace {

using Trade::MeshAttribute;
using Trade::VertexFormat;

template<class T> void appendBytes(std::vector<std::uint8_t>& out, const T* data, std::size_t count) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + count*sizeof(T));
}

/* Attributes are stored one after another, each tightly packed */
void addAttribute(Trade::MeshData& mesh, MeshAttribute name, VertexFormat format, std::uint32_t set,
    const std::vector<float>& values) {
    mesh.attributes.push_back({name, format, std::uint32_t(mesh.vertexData.size()),
        std::uint32_t(Trade::vertexFormatSize(format)), set});
    appendBytes(mesh.vertexData, values.data(), values.size());
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
    std::vector<float> values;
    auto vectors = [&](const aiVector3D* v, int components) {
        values.clear();
        for(std::size_t i = 0; i != n; ++i) values.insert(values.end(), &v[i].x, &v[i].x + components);
    };
    vectors(m.mVertices, 3);
    addAttribute(mesh, MeshAttribute::Position, VertexFormat::Vector3, 0, values);
    if(m.mNormals) {
        vectors(m.mNormals, 3);
        addAttribute(mesh, MeshAttribute::Normal, VertexFormat::Vector3, 0, values);
    }
    if(m.mTangents && m.mBitangents && m.mNormals) {
        /* Handedness from the bitangent the file gave */
        values.clear();
        for(std::size_t i = 0; i != n; ++i) {
            const aiVector3D& t = m.mTangents[i];
            const aiVector3D c = m.mNormals[i] ^ t;
            values.insert(values.end(), {t.x, t.y, t.z, c*m.mBitangents[i] < 0.0f ? -1.0f : 1.0f});
        }
        addAttribute(mesh, MeshAttribute::Tangent, VertexFormat::Vector4, 0, values);
    }
    for(unsigned set = 0; set != AI_MAX_NUMBER_OF_TEXTURECOORDS && m.mTextureCoords[set]; ++set) {
        vectors(m.mTextureCoords[set], 2);
        addAttribute(mesh, MeshAttribute::TextureCoordinates, VertexFormat::Vector2, set, values);
    }
    if(m.mColors[0]) {
        values.clear();
        for(std::size_t i = 0; i != n; ++i) values.insert(values.end(), &m.mColors[0][i].r, &m.mColors[0][i].r + 4);
        addAttribute(mesh, MeshAttribute::Color, VertexFormat::Vector4, 0, values);
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
        addAttribute(mesh, MeshAttribute::Weights, VertexFormat::Vector4, 0, weights);
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
           they were made; the file name beside the scene is the second try */
        out.linkName = Path::fromNativeSeparators(reference);
        std::string imagePath = Path::join(sceneDirectory, out.linkName);
        if(!Path::exists(imagePath) && Path::exists(Path::join(sceneDirectory, Path::filename(out.linkName))))
            imagePath = Path::join(sceneDirectory, Path::filename(out.linkName));
        out.image = loadImageFile(imagePath, error);
    }
    if(!out.image)
        Warning{} << "SceneLoader::loadScene(): Cannot load image" << out.linkName << "from file" << sceneLink
            << Debug::nospace << ":" << error;
    return out;
}

}}
