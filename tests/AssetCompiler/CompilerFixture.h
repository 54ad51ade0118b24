#pragma once
// A fresh project in an editor, with helpers to write records as JSON text
// and to build meshes, for the asset compiler tests.

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/DynamicSceneGraph.h"
#include "Tools/ProjectFiles.h"
#include "Support/TempDirectory.h"

namespace ZandelleEngine { namespace Testing {

class CompilerTest: public ::testing::Test {
    protected:
        CompilerTest() {
            editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
            editor.shaderDirectory = ZANDELLE_RESOURCES_DIR "/shaders";
            initProject(editor, "", "");
            /* Caches go to a directory of the test's own */
            editor.data().project().setRoot(projectDirectory.path());
        }

        AssetCompiler& compiler() { return *editor.assetCompiler; }
        ProjectFile& file() { return editor.data().projectFile(); }
        EditorSceneData& sceneData() { return editor.data().scene(); }
        DynamicSceneGraph& scene() { return sceneData().main(); }
        std::uint32_t counter(AssetType type) { return sceneData().assetTypeCounter(type); }

        /** Replaces @p target with the JSON text @p json */
        static void setJson(ValueAccess target, std::string_view json) {
            JsonDocument parsed;
            parsed.Parse(json.data(), json.size());
            ASSERT_FALSE(parsed.HasParseError()) << json;
            target.setValue(parsed);
        }
        /** Replaces the records of @p section with the JSON object @p json */
        void setSection(std::string_view section, std::string_view json) { setJson(file()[section], json); }
        /** Replaces one record */
        void setRecord(std::string_view section, std::string_view key, std::string_view json) {
            setJson(file()[section].member(key), json);
        }

        Data::Id object(std::string_view key) { return compiler().objectId(key); }

        /** Sets the record @p key of @p section linking "scene.glb" / @p key,
            with @p extra members */
        void setLinkedRecord(std::string_view section, std::string_view key, std::string_view extra = {}) {
            setRecord(section, key, R"({"link": {"file": "scene.glb", "name": ")" + std::string{key} + R"("})" +
                (extra.empty() ? std::string{} : ", " + std::string{extra}) + "}");
        }
        /** Adds @p mesh as the imported mesh "scene.glb" / @p key and a
            record @p key linking it, with @p extra members */
        void addMesh(std::string_view key, Trade::MeshData mesh, std::string_view extra = {}) {
            editor.data().resources().meshes.add(FileLink{"scene.glb", std::string{key}}, std::move(mesh));
            setLinkedRecord("meshes", key, extra);
        }

        TempDirectory projectDirectory;
        ZandelleEditor editor{2};
};

/** A mesh of @p positions with normals (0, 0, 1) and, when given, indices
    of @p indexType */
inline Trade::MeshData makeMesh(const std::vector<Vector3>& positions, const std::vector<std::uint32_t>& indices = {},
    Trade::IndexType indexType = Trade::IndexType::UnsignedShort, bool withNormals = true)
{
    Trade::MeshData mesh;
    mesh.vertexCount = std::uint32_t(positions.size());
    const std::uint32_t stride = withNormals ? 24 : 12;
    mesh.vertexData.resize(stride*positions.size());
    const Vector3 normal{0.0f, 0.0f, 1.0f};
    for(std::size_t i = 0; i != positions.size(); ++i) {
        std::memcpy(mesh.vertexData.data() + stride*i, &positions[i], 12);
        if(withNormals) std::memcpy(mesh.vertexData.data() + stride*i + 12, &normal, 12);
    }
    mesh.attributes.push_back({Trade::MeshAttribute::Position, Trade::VertexFormat::Vector3, 0, stride});
    if(withNormals) mesh.attributes.push_back({Trade::MeshAttribute::Normal, Trade::VertexFormat::Vector3, 12, stride});
    if(!indices.empty()) {
        mesh.indexType = indexType;
        const std::size_t size = Trade::indexTypeSize(indexType);
        mesh.indexData.resize(size*indices.size());
        /* The low bytes of each index, little-endian */
        for(std::size_t i = 0; i != indices.size(); ++i) std::memcpy(&mesh.indexData[size*i], &indices[i], size);
    }
    return mesh;
}

/** A flat grid of @p n x @p n quads, two triangles each */
inline Trade::MeshData makeGrid(std::uint32_t n, Trade::IndexType indexType = Trade::IndexType::UnsignedInt) {
    std::vector<Vector3> positions;
    for(std::uint32_t y = 0; y <= n; ++y) for(std::uint32_t x = 0; x <= n; ++x)
        positions.emplace_back(float(x), float(y), 0.0f);
    std::vector<std::uint32_t> indices;
    for(std::uint32_t y = 0; y != n; ++y) for(std::uint32_t x = 0; x != n; ++x) {
        const std::uint32_t i = y*(n + 1) + x;
        indices.insert(indices.end(), {i, i + 1, i + n + 1, i + 1, i + n + 2, i + n + 1});
    }
    return makeMesh(positions, indices, indexType);
}

/** A closed box: the eight corners of a unit cube, twelve triangles */
inline Trade::MeshData makeCube(Trade::IndexType indexType = Trade::IndexType::UnsignedShort) {
    const std::vector<Vector3> corners{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::vector<std::uint32_t> indices{0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                             1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7};
    return makeMesh(corners, indices, indexType);
}

/** The translation a unit dual quaternion carries */
inline Vector3 translationOf(const DualQuaternion& d) {
    const Quaternion t = d.dual*glm::conjugate(d.real)*2.0f;
    return {t.x, t.y, t.z};
}

}}
