// Migrations of editor versions 0.9.x: shader link names, blend functions,
// text rendering through the Text pipeline and font resources, deleted
// objects, per-file automatic names, duplicate skins, transforms as TRS.

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "Base/Log.h"
#include "Base/String.h"
#include "Editor/ProjectFile.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Migration {

using namespace Implementation;

namespace {

/* The shader record a material's pipeline uses, when every link holds */
std::optional<ValueAccess> shaderOfPipeline(ProjectFile& file, const ValueAccess& pipeline) {
    return recordOf(file.shaders(), pipeline["shader"].asString());
}

}

void migration_0_9_0_defaultShaderLinks(ProjectFile& file) {
    for(const ValueAccess& shader: recordsOf(file.shaders())) {
        const std::string name{linkName(shader)};
        if(name.empty() || String::endsWith(name, ".vert") || String::endsWith(name, ".frag")) continue;
        shader["link/name"].setString(name + (name == "Dynamic" || name == "Skinning" ? ".vert" : ".frag"));
    }
}

void migration_0_9_0_unsupportedBlendFunctions(ProjectFile& file) {
    /* Factors that need a blend constant are not in this list */
    constexpr std::array<std::string_view, 11> Supported{
        "zero", "one", "source color", "one minus source color", "source alpha", "source alpha saturate",
        "one minus source alpha", "destination color", "one minus destination color", "destination alpha",
        "one minus destination alpha"};
    for(const ValueAccess& pipeline: recordsOf(file.pipelines())) {
        for(const char* key: {"blendSrc", "blendDest"}) {
            ValueAccess factor = pipeline[key];
            if(!factor.hasValue()) continue;
            const bool supported = factor.isString() &&
                std::find(Supported.begin(), Supported.end(), factor.asString()) != Supported.end();
            if(!supported) factor.remove();
        }
    }
}

void migration_0_9_0_separateBlendFunctions(ProjectFile& file) {
    for(const ValueAccess& pipeline: recordsOf(file.pipelines())) {
        for(const char* key: {"blendSrc", "blendDest"}) {
            ValueAccess factor = pipeline[key];
            if(!factor.hasValue()) continue;
            const std::string value{factor.asString()};
            pipeline[std::string{key} + "Rgb"].setString(value);
            pipeline[std::string{key} + "Alpha"].setString(value);
            factor.remove();
        }
    }
}

void migration_0_9_0_textMaterialToSlug(ProjectFile& file) {
    const std::string textPipeline = file.pipelines().resourceByName("Text");
    bool outlineUsed = false;

    for(const ValueAccess& object: recordsOf(file.objects())) {
        for(ValueAccess component: componentsOfType(object, "text")) {
            if(!canHoldMembers(component["text"])) continue;
            const std::optional<ValueAccess> material = recordOf(file.materials(), component["text/material"].asString());
            if(!material) continue;
            const ValueAccess old = (*material)["DistanceFieldVector"];
            if(!old.isSetInProject()) continue;

            if((*material)["pipeline"].isSetInProject()) (*material)["pipeline"].setString(textPipeline);
            if(canHoldMembers((*material)["Text"]) && old.isObject()) {
                for(const auto& [from, to]: {std::pair{"color", "color"}, std::pair{"effectColor", "outlineColor"}}) {
                    const ValueAccess source = old[from];
                    if(source.isSetInProject()) (*material)["Text"][to].setValue(*source.readValue());
                }
            }
            const std::vector<float> outlineRange = old["outlineRange"].asFloatArray();
            /* Single-precision on purpose: [0.5, 0.48] is no outline */
            if(outlineRange.size() >= 2 && outlineRange[0] > outlineRange[1] + 0.02f) {
                component["text/effect"].setString("outline");
                outlineUsed = true;
            }
            (*material)["DistanceFieldVector"].remove();
        }
    }

    if(outlineUsed) file["settings/rendering/fontOutline"].setBool(true);
    file["settings"]["rendering/fontSize"].remove();
}

void migration_0_9_0_defaultImage(ProjectFile& file) {
    for(const ValueAccess& image: recordsOf(file.images()))
        if(image.fileLink() == FileLink{"default", "DefaultFontImage"}) image["name"].setString("DefaultImage");
    for(const ValueAccess& texture: recordsOf(file.textures()))
        if(texture["link"].isSetInProject() && texture.fileLink() == FileLink{"default", "DefaultFont"})
            texture["name"].setString("DefaultTexture");
}

void migration_0_9_0_deletedObjects(ProjectFile& file) {
    enum class State { Unknown, Visiting, Kept, Deleted };
    std::unordered_map<std::string, State> states;
    ProjectSection& objects = file.objects();

    /* Walks up the parent chain; a cycle counts as not deleted */
    auto isDeleted = [&](const std::string& start) {
        std::vector<std::string> chain;
        std::string key = start;
        State result = State::Kept;
        for(;;) {
            State& state = states[key];
            if(state == State::Kept || state == State::Deleted) { result = state; break; }
            if(state == State::Visiting) { result = State::Kept; break; }
            state = State::Visiting;
            chain.push_back(key);
            const std::optional<ValueAccess> object = recordOf(objects, key);
            if(!object) { result = State::Kept; break; }
            const ValueAccess deleted = (*object)["deleted"];
            if(deleted.isSetInProject() && deleted.asBool()) { result = State::Deleted; break; }
            const ValueAccess parent = (*object)["parent"];
            if(!parent.isSetInProject() || !parent.isString()) { result = State::Kept; break; }
            key = std::string{parent.asString()};
        }
        for(const std::string& k: chain) states[k] = result;
        return result == State::Deleted;
    };

    std::vector<std::string> deleted;
    for(const ValueAccess& object: recordsOf(objects))
        if(isDeleted(object.key())) deleted.push_back(object.key());
    for(const std::string& key: deleted) memberOf(objects, key).remove();
}

void migration_0_9_0_perFileUnnamedResourceIndices(ProjectFile& file) {
    const ValueAccess files = file["files"];
    if(!files.hasValue()) return;
    std::vector<std::string> paths;
    for(const ValueAccess& entry: files.range()) {
        const std::string_view path = entry.isString() ? entry.asString() : entry["fileName"].asString();
        if(!path.empty()) paths.push_back(String::replaceAll(path, "/", "\\"));
    }

    for(const char* sectionName: {"skins", "textures"}) {
        const ProjectSection& section = *file.section(sectionName);
        const std::string prefix = std::string{sectionName, std::string_view{sectionName}.size() - 1} + "_";
        std::size_t base = 0;
        for(const std::string& path: paths) {
            std::vector<ValueAccess> gathered;
            std::size_t count = 0;
            for(ValueAccess& record: recordsOf(section)) {
                if(!record["link"].isSetInProject() || !record["link"].isObject()) continue;
                if(!record["link/file"].isString() || record["link/file"].asString() != path) continue;
                if(!linkName(record).empty()) ++count;
                gathered.push_back(std::move(record));
            }
            for(ValueAccess& record: gathered) {
                const std::string_view name = linkName(record);
                if(!String::beginsWith(name, prefix) || name.size() == prefix.size()) continue;
                const std::string_view digits = name.substr(prefix.size());
                if(!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
                std::size_t n = 0;
                if(std::from_chars(digits.data(), digits.data() + digits.size(), n).ec != std::errc{}) continue;
                if(n >= base && n < base + count)
                    record["link/name"].setString(prefix + std::to_string(n - base));
            }
            base += count;
        }
    }
}

void migration_0_9_0_renameSkyToFullScreenTriangle(ProjectFile& file) {
    for(const ValueAccess& shader: recordsOf(file.shaders()))
        if(linkName(shader) == "Sky.vert") shader["link/name"].setString("FullScreenTriangle.vert");
}

void migration_0_9_4_removeAlphaFeature(ProjectFile& file) {
    for(const ValueAccess& pipeline: recordsOf(file.pipelines()))
        pipeline["features/ALPHA"].remove();
}

void migration_0_9_4_moveFontToResource(ProjectFile& file) {
    const ValueAccess rendering = file["settings/rendering"];
    const std::string path{rendering["font"].asString()};
    ProjectSection& fonts = file.fonts();

    std::string key;
    if(!path.empty() && path != "/fonts/DejaVuSans.ttf") {
        const FileLink link{path, "font_0"};
        fonts.addOriginal(link);
        key = fonts.addResource(link);
        /* The font file is imported like any other file; files is an array
           in projects of this version */
        ValueAccess files = file["files"];
        if(files.isArray() || !files.isSetInProject() || (files.isObject() && files.size() == 0)) files.pushBackStringUnique(path);
    } else {
        const FileLink link{"default", "DejaVuSans.ttf"};
        key = fonts.firstResourceWithLink(link);
        if(key.empty()) key = fonts.addResource(link);
    }

    ValueAccess font = memberOf(fonts, key);
    rendering["font"].remove();
    if(rendering["fontCharacters"].hasValue()) {
        font["characters"].setString(rendering["fontCharacters"].asString());
        rendering["fontCharacters"].remove();
    }
    if(rendering["fontOutline"].hasValue()) {
        font["outline"].setBool(rendering["fontOutline"].asBool());
        rendering["fontOutline"].remove();
    }
    if(rendering["fontOutlineSize"].hasValue()) {
        font["outlineSize"].setFloat(rendering["fontOutlineSize"].asFloat());
        rendering["fontOutlineSize"].remove();
    }
}

void migration_0_9_4_textMaterialAddFont(ProjectFile& file) {
    ProjectSection& fonts = file.fonts();
    std::string font = fonts.firstResourceWithLink(FileLink{"default", "DejaVuSans.ttf"});
    if(font.empty()) {
        const std::vector<std::string> keys = fonts.keys();
        if(keys.empty()) return;
        font = keys.front();
    }

    for(const ValueAccess& material: recordsOf(file.materials())) {
        const std::optional<ValueAccess> pipeline = recordOf(file.pipelines(), material["pipeline"].asString());
        if(!pipeline) continue;
        const std::optional<ValueAccess> shader = shaderOfPipeline(file, *pipeline);
        if(!shader || linkName(*shader) != "Text.frag") continue;
        if(!canHoldMembers(material["Text"])) continue;
        if(!material["Text/font"].isSetInProject()) material["Text/font"].setString(font);
    }
}

void migration_0_9_4_mergeDuplicateSkins(ProjectFile& file) {
    ProjectSection& skins = file.skins();

    std::vector<std::string> used;
    for(const ValueAccess& object: recordsOf(file.objects())) {
        const ValueAccess skin = object["skin"];
        if(!skin.isString() || skin.asString().empty()) continue;
        if(std::find(used.begin(), used.end(), skin.asString()) == used.end()) used.emplace_back(skin.asString());
    }

    /* Joint lists compared element by element; anything but an array
       compares unequal, so malformed skins are never merged */
    auto sameJoints = [&](const ValueAccess& a, const ValueAccess& b) {
        const JsonValue* ja = a["joints"].readValue();
        const JsonValue* jb = b["joints"].readValue();
        if(!ja || !jb || !ja->IsArray() || !jb->IsArray() || ja->Size() != jb->Size()) return false;
        for(rapidjson::SizeType i = 0; i != ja->Size(); ++i)
            if((*ja)[i] != (*jb)[i]) return false;
        return true;
    };

    std::unordered_map<std::string, std::string> remapped;
    for(const ValueAccess& skin: recordsOf(skins)) {
        const std::string key = skin.key();
        if(std::find(used.begin(), used.end(), key) != used.end()) continue;
        for(const std::string& kept: used) {
            const std::optional<ValueAccess> keptSkin = recordOf(skins, kept);
            if(!keptSkin || !sameJoints(skin, *keptSkin)) continue;
            Debug{} << "Removing duplicate skin" << key << "- remapping to" << kept;
            remapped.emplace(key, kept);
            memberOf(skins, key).remove();
            break;
        }
    }
    if(remapped.empty()) return;

    for(const ValueAccess& object: recordsOf(file.objects())) {
        for(const ValueAccess& component: componentsOf(object)) {
            if(!component.isObject()) continue;
            ValueAccess skin = component["mesh/skin"];
            if(!skin.isString()) continue;
            auto found = remapped.find(std::string{skin.asString()});
            if(found != remapped.end()) skin.setString(found->second);
        }
    }
}

void migration_0_9_4_addAlphaMaskedFeature(ProjectFile& file) {
    for(const ValueAccess& pipeline: recordsOf(file.pipelines())) {
        if(!String::endsWith(linkName(pipeline), " Opaque Textured")) continue;
        if(!canHoldMembers(pipeline["features"])) continue;
        ValueAccess feature = pipeline["features/ALPHA_MASKED"];
        if(!feature.isSetInProject()) feature.setBool(true);
    }
}

void migration_0_9_5_transformationToTRS(ProjectFile& file) {
    for(ValueAccess object: recordsOf(file.objects())) {
        ValueAccess transformation = object["transformation"];
        if(!transformation.isSetInProject()) continue;
        const JsonValue* value = transformation.readValue();
        const bool isMatrix = value->IsArray() && value->Size() == 16 &&
            std::all_of(value->Begin(), value->End(), [](const JsonValue& v) { return v.IsNumber(); });
        if(!isMatrix) {
            Warning{} << fmt::format("Transform migration skipped for object '{}' ({}): 'transformation' is not a 4x4 matrix",
                object["name"].asString(), object.key());
            continue;
        }

        const Matrix4 original = transformation.asMatrix4();
        object.setTransform(original);
        transformation.remove();

        const Matrix4 recomposed = object.asTransform();
        float error = 0.0f;
        for(int c = 0; c != 4; ++c) for(int r = 0; r != 4; ++r) {
            const float d = recomposed[c][r] - original[c][r];
            error += d*d;
        }
        if(error > 0.01f)
            Warning{} << fmt::format("Transform migration failed for object '{}' ({}). "
                "Re-composed and original matrices aren't equal. "
                "Please manually correct the object's transformation if needed", object["name"].asString(), object.key());
    }
}

}}
