#include "Editor/SceneLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <assimp/GltfMaterial.h>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/EditorData.h"
#include "Editor/SceneConversion.h"
#include "Editor/SceneFileCheck.h"
#include "Engine/ImageLoad.h"

namespace ZandelleEngine {

namespace {

using namespace SceneConversion;

/* Post-processing: triangles only, normals where the file has none, at most
   four weights per vertex, and a validation pass so that inconsistent data
   is refused here instead of crashing later */
constexpr unsigned ImportFlags = aiProcess_Triangulate | aiProcess_GenNormals | aiProcess_LimitBoneWeights |
    aiProcess_ValidateDataStructure;

/* glTF elements without a name come out of the importer named after their
   place in the file, "nodes[3]"; they count as unnamed */
std::string ownName(const aiString& name, bool gltf) {
    std::string_view n{name.C_Str(), name.length};
    if(gltf && !n.empty() && n.back() == ']') {
        const std::size_t open = n.rfind('[');
        const std::string_view digits = open == std::string_view::npos ? std::string_view{} : n.substr(open + 1, n.size() - open - 2);
        if(!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos &&
           n.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == open)
            return {};
    }
    return std::string{n};
}

/* The records of one section that link to the imported file, by link name,
   read once per import so that finding a record costs no scan. Projects
   saved on Windows name the file with backslashes (or a mix); such records
   are taken over and their link written the way this loader names the
   file. */
class LinkedRecords {
    public:
        LinkedRecords(ProjectSection& section, std::string file): _section{section}, _file{std::move(file)} {
            std::vector<std::string> renamed;
            auto member = [](const JsonValue& object, const char* name) -> const JsonValue* {
                auto found = object.FindMember(name);
                return found == object.MemberEnd() ? nullptr : &found->value;
            };
            const JsonValue* records = section.readValue();
            if(records && records->IsObject()) for(const auto& r: records->GetObject()) {
                const JsonValue* link = r.value.IsObject() ? member(r.value, "link") : nullptr;
                if(!link || !link->IsObject()) continue;
                const std::string_view file = Json::asString(member(*link, "file"));
                if(!Path::equalSeparatorsIgnored(file, _file)) continue;
                std::string key{r.name.GetString(), r.name.GetStringLength()};
                if(file != _file) renamed.push_back(key);
                _keys.emplace(Json::asString(member(*link, "name")), std::move(key));
            }
            for(const std::string& key: renamed) section[key]["link/file"].setString(_file);
        }

        /** The record linked to @p name, added when the section has none */
        std::string keyFor(const std::string& name) {
            auto found = _keys.find(name);
            if(found == _keys.end()) found = _keys.emplace(name, _section.addResource({_file, name})).first;
            return found->second;
        }

        /** The same with its original, emptied so that the import writes it afresh */
        std::pair<std::string, OriginalAccess> recordFor(const std::string& name) {
            std::string key = keyFor(name);
            return {std::move(key), _section.addOriginal({_file, name})};
        }

    private:
        ProjectSection& _section;
        std::string _file;
        std::unordered_map<std::string, std::string> _keys;
};

/* Names unique within one file: a repeated or empty name becomes
   prefix + "_" + a number, so each resource keeps its own link */
class UniqueNames {
    public:
        explicit UniqueNames(std::string prefix): _prefix{std::move(prefix)} {}
        std::string operator()(std::string name) {
            while(name.empty() || !_used.insert(name).second)
                name = _prefix + "_" + std::to_string(_next++);
            return name;
        }
    private:
        std::string _prefix;
        std::unordered_set<std::string> _used;
        std::size_t _next = 0;
};

struct Skin {
    std::vector<std::string> jointNodes;
    std::vector<Matrix4> inverseBindMatrices;
    bool operator==(const Skin&) const = default;
};

std::vector<float> color(const aiMaterial& m, const char* key, unsigned type, unsigned index, std::vector<float> fallback) {
    aiColor4D c;
    if(aiGetMaterialColor(&m, key, type, index, &c) != aiReturn_SUCCESS) return fallback;
    return {c.r, c.g, c.b, c.a};
}

std::optional<float> factor(const aiMaterial& m, const char* key, unsigned type, unsigned index) {
    float f;
    if(aiGetMaterialFloat(&m, key, type, index, &f) != aiReturn_SUCCESS) return {};
    return f;
}

std::string texturePath(const aiMaterial& m, std::initializer_list<aiTextureType> types) {
    for(aiTextureType type: types) {
        aiString path;
        if(m.GetTextureCount(type) && m.GetTexture(type, 0, &path) == aiReturn_SUCCESS && path.length)
            return path.C_Str();
    }
    return {};
}

struct Node {
    const aiNode* node;
    std::size_t parent;     /* index into the node list, or -1 */
    std::string name, linkName;
};

constexpr std::size_t NoParent = ~std::size_t{};

/* Nodes parents first. Link names are node paths: own name, "<", the parent's
   path; unnamed nodes are "object_N", counted per parent. Empty when the
   hierarchy is deeper than the file checks allow; the reader may add one
   root above the file's own. */
std::optional<std::vector<Node>> collectNodes(const aiNode* root, bool gltf) {
    std::vector<Node> nodes;
    std::unordered_map<std::string, std::size_t> unnamedCounters;
    std::unordered_set<std::string> used;
    struct Pending { const aiNode* node; std::size_t parent, depth; };
    std::vector<Pending> stack{{root, NoParent, 1}};
    while(!stack.empty()) {
        const auto [node, parent, depth] = stack.back();
        stack.pop_back();
        if(depth > SceneFileCheck::MaxNodeDepth + 1) return {};
        const std::string parentPath = parent == NoParent ? std::string{} : nodes[parent].linkName;
        std::string name = ownName(node->mName, gltf);
        if(name.empty()) name = "object_" + std::to_string(unnamedCounters[parentPath]++);
        std::string linkName = parent == NoParent ? name : name + "<" + parentPath;
        for(std::size_t i = 1; !used.insert(linkName).second; ++i)
            linkName = name + "_" + std::to_string(i) + (parent == NoParent ? "" : "<" + parentPath);
        const std::size_t index = nodes.size();
        nodes.push_back({node, parent, std::move(name), std::move(linkName)});
        /* Reversed, so children come out in file order */
        for(unsigned c = node->mNumChildren; c-- != 0; )
            if(node->mChildren[c]) stack.push_back({node->mChildren[c], index, depth + 1});
    }
    return nodes;
}

void setVector(ValueAccess value, std::initializer_list<float> components) {
    value.setArray(std::vector<float>(components));
}

/* One import of a scene into the editor data: the steps share the record
   keys the earlier ones produced */
struct SceneImport {
    SceneImport(const aiScene* scene, std::vector<Node> nodes, EditorData& data, std::string file, std::string sceneDirectory, bool gltf):
        scene{scene}, nodes{std::move(nodes)}, project{data.projectFile()}, resources{data.resources()}, file{std::move(file)},
        sceneDirectory{std::move(sceneDirectory)}, gltf{gltf},
        objectRecords{project.objects(), this->file}, meshRecords{project.meshes(), this->file},
        skinRecords{project.skins(), this->file}, imageRecords{project.images(), this->file},
        textureRecords{project.textures(), this->file}, materialRecords{project.materials(), this->file},
        animationRecords{project.animations(), this->file} {}

    const aiScene* scene;
    std::vector<Node> nodes;
    ProjectFile& project;
    ResourceManagers& resources;
    std::string file, sceneDirectory;
    bool gltf;
    SceneLoadResult result;
    LinkedRecords objectRecords, meshRecords, skinRecords, imageRecords, textureRecords, materialRecords, animationRecords;

    std::vector<std::string> objectKeys;
    std::unordered_map<std::string, std::size_t> nodeByName;
    std::vector<std::string> meshKeys, meshSkins, materialKeys, skinKeys;
    std::vector<Skin> skins;
    std::unordered_map<std::string, std::string> textureByReference;
    /* Pipeline name to key, looked up once per import */
    std::unordered_map<std::string, std::string> pipelineKeys;
    UniqueNames meshNames{"mesh"}, imageNames{"image"}, materialNames{"material"}, animationNames{"animation"};

    /* Objects first: meshes, skins and animations refer to them by key */
    void addObjects() {
        for(std::size_t i = 0; i != nodes.size(); ++i) {
            objectKeys.push_back(objectRecords.keyFor(nodes[i].linkName));
            nodeByName.emplace(nodes[i].node->mName.C_Str(), i);
        }
    }

    /* Meshes, one record per primitive, and skins: the distinct joint lists
       and inverse bind matrices of the skinned meshes */
    void addMeshesAndSkins() {
        meshSkins.resize(scene->mNumMeshes);
        for(unsigned i = 0; i != scene->mNumMeshes; ++i) {
            const aiMesh& m = *scene->mMeshes[i];
            Skin skin;
            Trade::MeshData mesh = convertMesh(m, skin.jointNodes);
            const FileLink link{file, meshNames(ownName(m.mName, gltf))};
            auto [key, original] = meshRecords.recordFor(link.name);
            original["name"].setString(link.name);
            resources.meshes.add(link, std::move(mesh));
            meshKeys.push_back(key);

            if(skin.jointNodes.empty()) continue;
            for(unsigned b = 0; b != m.mNumBones; ++b)
                skin.inverseBindMatrices.push_back(toMatrix(m.mBones[b]->mOffsetMatrix));
            std::size_t s = 0;
            while(s != skins.size() && !(skins[s] == skin)) ++s;
            if(s == skins.size()) {
                const FileLink skinLink{file, "skin_" + std::to_string(s)};
                auto [skinKey, skinOriginal] = skinRecords.recordFor(skinLink.name);
                Trade::SkinData skinData;
                std::vector<std::string> jointKeys;
                for(const std::string& joint: skin.jointNodes) {
                    const auto found = nodeByName.find(joint);
                    skinData.joints.push_back(found == nodeByName.end() ? std::string{} : nodes[found->second].linkName);
                    jointKeys.push_back(found == nodeByName.end() ? std::string{} : objectKeys[found->second]);
                }
                skinData.inverseBindMatrices = skin.inverseBindMatrices;
                skinOriginal["name"].setString(skinLink.name);
                skinOriginal["joints"].setArray(jointKeys);
                resources.skins.add(skinLink, std::move(skinData));
                skins.push_back(std::move(skin));
                skinKeys.push_back(skinKey);
            }
            meshSkins[i] = skinKeys[s];
        }
    }

    /* Images and textures, one per distinct reference, in order of first use;
       the texture's key, empty when the image cannot be read */
    std::string textureFor(const std::string& reference) {
        if(reference.empty()) return {};
        if(auto found = textureByReference.find(reference); found != textureByReference.end()) return found->second;
        std::string& textureKey = textureByReference[reference];
        ImportedImage imported = importImage(*scene, reference, sceneDirectory, file);
        if(!imported.image) return {};
        const FileLink imageLink{file, imageNames(imported.linkName)};
        auto [imageKey, imageOriginal] = imageRecords.recordFor(imageLink.name);
        imageOriginal["name"].setString(Path::filename(imageLink.name));
        resources.images.add(imageLink, std::move(*imported.image));
        result.images.push_back(imageKey);

        const FileLink textureLink{file, "texture_" + std::to_string(result.textures.size())};
        auto [key, textureOriginal] = textureRecords.recordFor(textureLink.name);
        textureOriginal["name"].setString(textureLink.name);
        textureOriginal["image"].setString(imageKey);
        result.textures.push_back(key);
        return textureKey = key;
    }

    /* Materials on the shipped pipelines. The importer adds a default
       material of its own, unnamed, for meshes without one; it is kept only
       when used. */
    void addMaterials() {
        std::vector<bool> materialUsed(scene->mNumMaterials, false);
        for(unsigned i = 0; i != scene->mNumMeshes; ++i)
            if(scene->mMeshes[i]->mMaterialIndex < scene->mNumMaterials) materialUsed[scene->mMeshes[i]->mMaterialIndex] = true;
        materialKeys.resize(scene->mNumMaterials);
        for(unsigned i = 0; i != scene->mNumMaterials; ++i) {
            const aiMaterial& m = *scene->mMaterials[i];
            aiString name;
            m.Get(AI_MATKEY_NAME, name);
            if(!materialUsed[i] && (name.length == 0 || std::strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0)) continue;
            const FileLink link{file, materialNames(ownName(name, gltf))};
            auto [key, original] = materialRecords.recordFor(link.name);
            original["name"].setString(link.name);
            materialKeys[i] = key;

            int shading = 0;
            const bool physical = (aiGetMaterialInteger(&m, AI_MATKEY_SHADING_MODEL, &shading) == aiReturn_SUCCESS &&
                shading == aiShadingMode_PBR_BRDF) || factor(m, AI_MATKEY_METALLIC_FACTOR);
            std::string pipeline;
            if(physical) {
                const std::string albedo = textureFor(texturePath(m, {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}));
                const std::string roughnessMetallic = textureFor(texturePath(m, {aiTextureType_UNKNOWN, aiTextureType_METALNESS, aiTextureType_DIFFUSE_ROUGHNESS}));
                const std::string normal = textureFor(texturePath(m, {aiTextureType_NORMALS}));
                const std::string occlusion = textureFor(texturePath(m, {aiTextureType_LIGHTMAP, aiTextureType_AMBIENT_OCCLUSION}));
                const std::string emissive = textureFor(texturePath(m, {aiTextureType_EMISSIVE}));
                ValueAccess params = original["Physical"];
                params["albedoColor"].setArray(color(m, AI_MATKEY_BASE_COLOR, color(m, AI_MATKEY_COLOR_DIFFUSE, {1.0f, 1.0f, 1.0f, 1.0f})));
                std::vector<float> emissiveColor = color(m, AI_MATKEY_COLOR_EMISSIVE, {0.0f, 0.0f, 0.0f, 1.0f});
                emissiveColor[3] = 1.0f;
                params["emissiveColor"].setArray(emissiveColor);
                params["metallicFactor"].setFloat(factor(m, AI_MATKEY_METALLIC_FACTOR).value_or(1.0f));
                params["roughnessFactor"].setFloat(factor(m, AI_MATKEY_ROUGHNESS_FACTOR).value_or(1.0f));
                if(!albedo.empty()) params["albedoTexture"].setString(albedo);
                if(!roughnessMetallic.empty()) params["roughnessMetallicTexture"].setString(roughnessMetallic);
                if(!normal.empty()) params["normalTexture"].setString(normal);
                if(!emissive.empty()) params["emissiveTexture"].setString(emissive);
                if(!occlusion.empty()) {
                    params["occlusionTexture"].setString(occlusion);
                    params["occlusionFactor"].setFloat(1.0f);
                }
                pipeline = albedo.empty() ? "Physical Opaque" : "Physical Opaque Textured";
            } else {
                const std::string diffuse = textureFor(texturePath(m, {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR}));
                const std::string normal = textureFor(texturePath(m, {aiTextureType_NORMALS, aiTextureType_HEIGHT}));
                const std::string emissive = textureFor(texturePath(m, {aiTextureType_EMISSIVE}));
                ValueAccess params = original["Phong"];
                params["ambientColor"].setArray(color(m, AI_MATKEY_COLOR_AMBIENT, {0.0f, 0.0f, 0.0f, 1.0f}));
                params["diffuseColor"].setArray(color(m, AI_MATKEY_COLOR_DIFFUSE, {1.0f, 1.0f, 1.0f, 1.0f}));
                params["specularColor"].setArray(color(m, AI_MATKEY_COLOR_SPECULAR, {1.0f, 1.0f, 1.0f, 1.0f}));
                std::vector<float> emissiveColor = color(m, AI_MATKEY_COLOR_EMISSIVE, {0.0f, 0.0f, 0.0f, 1.0f});
                emissiveColor[3] = 1.0f;
                params["emissiveColor"].setArray(emissiveColor);
                if(const auto shininess = factor(m, AI_MATKEY_SHININESS))
                    params["shininess"].setInt(std::int64_t(std::clamp(*shininess, 0.0f, 255.0f)));
                if(!diffuse.empty()) params["diffuseTexture"].setString(diffuse);
                if(!normal.empty()) params["normalTexture"].setString(normal);
                if(!emissive.empty()) params["emissiveTexture"].setString(emissive);
                pipeline = !normal.empty() ? "Phong Normalmapped" : diffuse.empty() ? "Phong Opaque" : "Phong Opaque Textured";
            }
            /* Alpha-tested materials keep their cut-off */
            aiString alphaMode;
            if(aiGetMaterialString(&m, AI_MATKEY_GLTF_ALPHAMODE, &alphaMode) == aiReturn_SUCCESS &&
               std::strcmp(alphaMode.C_Str(), "MASK") == 0)
                original[physical ? "Physical/alphaMaskThreshold" : "Phong/alphaMaskThreshold"]
                    .setFloat(factor(m, AI_MATKEY_GLTF_ALPHACUTOFF).value_or(0.5f));

            auto pipelineKey = pipelineKeys.find(pipeline);
            if(pipelineKey == pipelineKeys.end())
                pipelineKey = pipelineKeys.emplace(pipeline, project.pipelines().resourceByName(pipeline)).first;
            if(!pipelineKey->second.empty()) original["pipeline"].setString(pipelineKey->second);
        }
    }

    /* Object originals: hierarchy, transform, one mesh component per mesh */
    void writeObjects() {
        for(std::size_t i = 0; i != nodes.size(); ++i) {
            const Node& node = nodes[i];
            OriginalAccess original = project.objects().addOriginal({file, node.linkName});
            original["name"].setString(node.name);
            if(node.parent != NoParent) original["parent"].setString(objectKeys[node.parent]);
            aiVector3D scaling, translation;
            aiQuaternion rotation;
            node.node->mTransformation.Decompose(scaling, rotation, translation);
            setVector(original["translation"], {translation.x, translation.y, translation.z});
            setVector(original["rotation"], {rotation.x, rotation.y, rotation.z, rotation.w});
            setVector(original["scaling"], {scaling.x, scaling.y, scaling.z});

            JsonAllocator& allocator = original.allocator();
            JsonValue components{rapidjson::kArrayType};
            for(unsigned j = 0; j != node.node->mNumMeshes; ++j) {
                const unsigned meshIndex = node.node->mMeshes[j];
                if(meshIndex >= scene->mNumMeshes) continue;
                const unsigned materialIndex = scene->mMeshes[meshIndex]->mMaterialIndex;
                JsonValue props{rapidjson::kObjectType};
                props.AddMember("mesh", JsonValue{meshKeys[meshIndex].c_str(), allocator}, allocator);
                if(materialIndex < materialKeys.size() && !materialKeys[materialIndex].empty())
                    props.AddMember("material", JsonValue{materialKeys[materialIndex].c_str(), allocator}, allocator);
                if(!meshSkins[meshIndex].empty())
                    props.AddMember("skin", JsonValue{meshSkins[meshIndex].c_str(), allocator}, allocator);
                JsonValue entry{rapidjson::kObjectType};
                entry.AddMember("type", "mesh", allocator);
                entry.AddMember("active", true, allocator);
                entry.AddMember("mesh", props, allocator);
                components.PushBack(entry, allocator);
            }
            if(!components.Empty()) original["components"].writeValue().Swap(components);
        }
    }

    /* Animations: translation, rotation and scaling tracks per animated node */
    void addAnimations() {
        for(unsigned a = 0; a != scene->mNumAnimations; ++a) {
            const aiAnimation& animation = *scene->mAnimations[a];
            const double ticks = animation.mTicksPerSecond > 0.0 ? animation.mTicksPerSecond : 25.0;
            Trade::AnimationData out;
            out.duration = float(animation.mDuration/ticks);
            std::vector<std::string> targets;
            for(unsigned c = 0; c != animation.mNumChannels; ++c) {
                const aiNodeAnim& channel = *animation.mChannels[c];
                const auto found = nodeByName.find(channel.mNodeName.C_Str());
                const std::string target = found == nodeByName.end() ? std::string{} : nodes[found->second].linkName;
                const std::string targetKey = found == nodeByName.end() ? std::string{} : objectKeys[found->second];
                auto track = [&](const char* property) -> Trade::AnimationTrack& {
                    out.tracks.push_back({target, property, {}, {}});
                    targets.push_back(targetKey);
                    return out.tracks.back();
                };
                /* The importer gives every animated node all three tracks; one
                   that only holds the node's own rest value changes nothing */
                aiVector3D restScaling, restTranslation;
                aiQuaternion restRotation;
                if(found != nodeByName.end())
                    nodes[found->second].node->mTransformation.Decompose(restScaling, restRotation, restTranslation);
                auto vectorTrack = [&](const char* property, const aiVectorKey* keys, unsigned count, const aiVector3D& rest) {
                    if(!count || (count == 1 && found != nodeByName.end() && (keys->mValue - rest).SquareLength() < 1e-10f)) return;
                    Trade::AnimationTrack& t = track(property);
                    for(const aiVectorKey* key = keys; key != keys + count; ++key) {
                        t.times.push_back(float(key->mTime/ticks));
                        t.values.insert(t.values.end(), {key->mValue.x, key->mValue.y, key->mValue.z});
                    }
                };
                vectorTrack("translation", channel.mPositionKeys, channel.mNumPositionKeys, restTranslation);
                const bool restRotationOnly = channel.mNumRotationKeys == 1 && found != nodeByName.end() &&
                    std::abs(std::abs(restRotation.x*channel.mRotationKeys->mValue.x + restRotation.y*channel.mRotationKeys->mValue.y +
                        restRotation.z*channel.mRotationKeys->mValue.z + restRotation.w*channel.mRotationKeys->mValue.w) - 1.0f) < 1e-6f;
                if(channel.mNumRotationKeys && !restRotationOnly) {
                    Trade::AnimationTrack& t = track("rotation");
                    /* Assimp blends rotation keys spherically, as glTF does */
                    t.interpolation = Trade::AnimationInterpolation::Spherical;
                    for(unsigned k = 0; k != channel.mNumRotationKeys; ++k) {
                        const aiQuatKey& key = channel.mRotationKeys[k];
                        /* Unit length, as playback needs; a zero quaternion is no rotation */
                        aiQuaternion q = key.mValue;
                        if(q.w*q.w + q.x*q.x + q.y*q.y + q.z*q.z > 1e-12f) q.Normalize();
                        else q = aiQuaternion{};
                        t.times.push_back(float(key.mTime/ticks));
                        t.values.insert(t.values.end(), {q.x, q.y, q.z, q.w});
                    }
                }
                vectorTrack("scaling", channel.mScalingKeys, channel.mNumScalingKeys, restScaling);
            }
            const FileLink link{file, animationNames(ownName(animation.mName, gltf))};
            auto [key, original] = animationRecords.recordFor(link.name);
            original["name"].setString(link.name);
            original["targets"].setArray(targets);
            resources.animations.add(link, std::move(out));
        }
    }
};

}

SceneLoadResult SceneLoader::loadScene(const std::string& pathIn, EditorData& data, LoadMode, const std::string&) {
    /* Only the formats above reach the importer, so that no other of its
       readers ever sees a file */
    const std::string extension = String::lowercase(Path::splitExtension(pathIn).second);
    if(std::find(SceneExtensions.begin(), SceneExtensions.end(), extension) == SceneExtensions.end()) return {};
    const bool gltf = extension == ".gltf" || extension == ".glb";
    const std::string absolute = data.project().absolutePath(pathIn), folder = Path::path(absolute),
        file = data.project().relativePath(absolute);
    auto refuse = [&](std::string_view reason) {
        Warning{} << "SceneLoader::loadScene(): Refusing" << file << Debug::nospace << ":" << reason;
        return SceneLoadResult{};
    };

    /* A FIFO or a device would block or feed the reader forever */
    const int fd = ::open(absolute.c_str(), O_RDONLY|O_NONBLOCK|O_CLOEXEC);
    struct stat s;
    const bool regular = fd >= 0 && ::fstat(fd, &s) == 0 && S_ISREG(s.st_mode);
    std::optional<std::string> problem;
    if(regular && gltf) problem = SceneFileCheck::checkGltf([fd](std::uint64_t offset, std::size_t size, char* out) {
        for(std::size_t done = 0; done != size; ) {
            const ssize_t n = ::pread(fd, out + done, size - done, off_t(offset + done));
            if(n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }, std::uint64_t(s.st_size), extension == ".glb", folder);
    if(fd >= 0) ::close(fd);
    if(!regular) return {};
    if(problem) return refuse(*problem);

    const std::unique_ptr<Assimp::Importer> importer = readSceneIsolated(readerPath, absolute, ImportFlags, readerLimits);
    if(!importer) return {};
    const aiScene* scene = importer->GetScene();
    std::optional<std::vector<Node>> nodes = collectNodes(scene->mRootNode, gltf);
    if(!nodes) return refuse(fmt::format("node hierarchy deeper than {} levels", SceneFileCheck::MaxNodeDepth));

    SceneImport import{scene, std::move(*nodes), data, file, folder, gltf};
    import.addObjects();
    import.addMeshesAndSkins();
    import.addMaterials();
    import.writeObjects();
    import.addAnimations();
    import.result.success = true;
    return std::move(import.result);
}

SceneLoadResult SceneLoader::loadImage(const std::string& pathIn, EditorData& data) {
    SceneLoadResult result;
    const std::string path = data.project().absolutePath(pathIn);
    std::string error;
    std::optional<Trade::ImageData> image = loadImageFile(path, error);
    if(!image) return result;

    ProjectFile& project = data.projectFile();
    const std::string file = data.project().relativePath(path);
    const FileLink link{file, Path::filename(file)};
    LinkedRecords imageRecords{project.images(), file}, textureRecords{project.textures(), file};
    auto [imageKey, imageOriginal] = imageRecords.recordFor(link.name);
    imageOriginal["name"].setString(link.name);
    data.resources().images.add(link, std::move(*image));

    auto [textureKey, textureOriginal] = textureRecords.recordFor(link.name);
    textureOriginal["name"].setString(link.name);
    textureOriginal["image"].setString(imageKey);

    result.success = true;
    result.images.push_back(imageKey);
    result.textures.push_back(textureKey);
    return result;
}

}
