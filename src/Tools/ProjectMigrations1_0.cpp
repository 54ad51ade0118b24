// Migrations of editor versions 1.0.x: renamed keys, npm-based scripting
// settings, image compression, the augmented-reality switch, light intensity,
// the Phong colour model, importer names of imported files.

#include <algorithm>
#include <cmath>
#include <string>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ProjectFile.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Migration {

using namespace Implementation;

namespace {

void setVector4(ValueAccess value, const Vector4& v) {
    value.setArray(std::vector<float>{v.x, v.y, v.z, v.w});
}

}

void migration_1_0_0_renameShaderTypeToStage(ProjectFile& file) {
    for(ValueAccess shader: recordsOf(file.shaders())) {
        ValueAccess type = shader["type"];
        if(!type.isSetInProject() || !type.isString()) continue;
        shader["stage"].setString(std::string{type.asString()});
        type.remove();
    }
}

void migration_1_0_0_renameScaleToScaling(ProjectFile& file) {
    for(ValueAccess object: recordsOf(file.objects())) {
        ValueAccess scale = object["scale"];
        if(!scale.isSetInProject() || !scale.isArray()) continue;
        const Vector3 s = scale.asVector3();
        object["scaling"].setArray(std::vector<float>{s.x, s.y, s.z});
        scale.remove();
    }
}

void migration_1_0_0_automaticEntryPointJs(ProjectFile& file) {
    ValueAccess scripting = file["settings/scripting"];
    if(!canHoldMembers(scripting)) return;
    scripting["libraryPaths"].setArray(std::vector<std::string>{"/js/lib/"});
    const ValueAccess useInternalBundler = scripting["useInternalBundler"];
    if(useInternalBundler.isSetInProject() && useInternalBundler.isBool() && !useInternalBundler.asBool() &&
       !scripting["autoManageEntryPoint"].isSetInProject())
        scripting["autoManageEntryPoint"].setBool(false);
}

void migration_1_0_0_deprecateUseInternalBundler(ProjectFile& file) {
    ValueAccess scripting = file["settings/scripting"];
    if(!canHoldMembers(scripting)) return;
    ValueAccess useInternalBundler = scripting["useInternalBundler"];
    const bool wasSet = useInternalBundler.isSetInProject();
    const bool wasFalse = wasSet && useInternalBundler.isBool() && !useInternalBundler.asBool();
    if(wasSet) useInternalBundler.remove();
    if(!scripting["bundlingType"].isSetInProject())
        scripting["bundlingType"].setString(wasFalse ? "npm" : "esbuild");

    ValueAccess sourcePaths = scripting["sourcePaths"];
    if(!sourcePaths.isSetInProject() || !sourcePaths.isArray()) return;
    const std::vector<std::string_view> paths = sourcePaths.asStringViewArray();
    for(std::size_t i = 0; i != paths.size(); ++i) {
        if(paths[i] != "/js/editor-components-bundle.js" || !sourcePaths[i].isString()) continue;
        sourcePaths.eraseElement(i);
        break;
    }
}

void migration_1_0_0_updateEsbuildFlags(ProjectFile& file) {
    ValueAccess flags = file["settings/scripting/esbuildFlags"];
    if(!flags.isSetInProject() || !flags.isString()) return;
    const std::string text{flags.asString()};
    if(text.find("--format=esm") == std::string::npos) flags.setString(text + " --format=esm");
}

void migration_1_0_0_removeAutomaticEntryPointJsFlag(ProjectFile& file) {
    file["settings/scripting/autoManageEntryPoint"].remove();
}

void migration_1_0_0_imageCompressToCompression(ProjectFile& file) {
    for(ValueAccess image: recordsOf(file.images())) {
        ValueAccess compress = image["compress"];
        if(!compress.isSetInProject()) continue;
        image["compression"].setString(compress.asBool() ? "etc1s" : "none");
        compress.remove();
    }
}

void migration_1_0_0_arFramework(ProjectFile& file, std::string_view projectRoot) {
    ValueAccess ar = file["settings/ar"];
    ValueAccess framework = ar["framework"];
    if(framework.isSetInProject()) {
        if(framework.asString() != "none" && canHoldMembers(ar)) ar["enable"].setBool(true);
        framework.remove();
    }

    ValueAccess eighthWall = ar["8thwall"];
    if(!eighthWall.isSetInProject()) return;
    const std::string token{eighthWall["apiToken"].asString()};
    if(!token.empty()) {
        const std::string path = Path::join(projectRoot, "8thwall_migrate_to_1.0.0.txt");
        const std::string note =
            "In 1.0.0, we removed the setting to specify 8thwall API tokens\n"
            "in the editor. Please go ahead and specify your token in your\n"
            "`src/index.js` file instead:\n"
            "\n"
            "const XR8_API_TOKEN = '" + token + "';\n";
        Path::writeAtomic(path, note);
        Warning{} << "We removed the setting to specify 8thwall API tokens in the editor.";
        Warning{} << "Please see" << path << "for more information.";
    }
    eighthWall.remove();
}

void migration_1_0_0_renameRangeToShadowRange(ProjectFile& file) {
    for(const ValueAccess& object: recordsOf(file.objects())) {
        for(const ValueAccess& component: componentsOfType(object, "light")) {
            ValueAccess range = component["light/range"];
            if(!range.isSetInProject() || !range.isNumber()) continue;
            component["light/shadowRange"].setFloat(range.asFloat());
            range.remove();
        }
    }
}

void migration_1_0_0_convertAttenuationToIntensity(ProjectFile& file) {
    for(const ValueAccess& object: recordsOf(file.objects())) {
        for(const ValueAccess& component: componentsOfType(object, "light")) {
            const ValueAccess light = component["light"];
            if(!canHoldMembers(light) || light["intensity"].isSetInProject()) continue;
            /* Single-precision constants, as the renderer computed them */
            float intensity = 100.0f*0.3333f;
            const ValueAccess attenuation = light["attenuation"];
            if(light["type"].asString() == "sun") intensity = 1.0f;
            else if(attenuation.isSetInProject())
                intensity = (1.0f/std::max(0.01f, attenuation.asFloat()))*0.3333f;
            light["intensity"].setFloat(intensity);
            component["light/attenuation"].remove();
        }
    }
}

void migration_1_0_0_addPhongFeatureDeprecatedAttenuation(ProjectFile& file) {
    for(const ValueAccess& pipeline: recordsOf(file.pipelines())) {
        const std::optional<ValueAccess> shader = recordOf(file.shaders(), pipeline["shader"].asString());
        if(!shader || !(*shader)["link"].isSetInProject() || linkName(*shader) != "Phong.frag") continue;
        if(!canHoldMembers(pipeline["features"])) continue;
        pipeline["features/DEPRECATED_LIGHT_ATTENUATION"].setBool(true);
    }
}

void migration_1_0_0_phongColorChanges(ProjectFile& file) {
    for(const ValueAccess& material: recordsOf(file.materials())) {
        const std::optional<ValueAccess> pipeline = recordOf(file.pipelines(), material["pipeline"].asString());
        if(!pipeline) continue;
        const std::optional<ValueAccess> shader = recordOf(file.shaders(), (*pipeline)["shader"].asString());
        if(!shader || linkName(*shader) != "Phong.frag") continue;
        const ValueAccess phong = material["Phong"];
        if(!canHoldMembers(phong) || !canHoldMembers((*pipeline)["features"])) continue;

        /* Imported materials had no ambient light, editor-made ones 0.2 */
        Vector4 ambient = material["link"].isSetInProject() ? Vector4{0.0f, 0.0f, 0.0f, 1.0f} : Vector4{0.2f, 0.2f, 0.2f, 1.0f};
        if(phong["ambientColor"].isSetInProject()) ambient = phong["ambientColor"].asVector4();
        const bool textured = (*pipeline)["features/TEXTURED"].asBool();

        const bool emissiveTextured = textured && phong["emissiveTexture"].isString() &&
            !phong["emissiveTexture"].asString().empty();
        const bool hasAmbient = std::abs(ambient.x) >= 1e-5f || std::abs(ambient.y) >= 1e-5f || std::abs(ambient.z) >= 1e-5f;
        if(!emissiveTextured && hasAmbient) {
            /* The old ambient colour was a constant term, which is what
               emission is now */
            ValueAccess withEmissive = (*pipeline)["features/WITH_EMISSIVE"];
            if(withEmissive.asBool()) {
                setVector4(phong["emissiveColor"], glm::clamp(ambient + phong["emissiveColor"].asVector4(), 0.0f, 1.0f));
            } else {
                withEmissive.setBool(true);
                setVector4(phong["emissiveColor"], ambient);
            }
        }

        const float factor = phong["ambientFactor"].hasValue() ? phong["ambientFactor"].asFloat() : 0.05f;
        setVector4(phong["ambientColor"], Vector4{factor, factor, factor, 1.0f});
        phong["ambientFactor"].remove();

        if(textured) setVector4(phong["diffuseColor"], Vector4{1.0f});
        else if(!phong["diffuseColor"].hasValue()) setVector4(phong["diffuseColor"], Vector4{0.5f, 0.5f, 0.5f, 1.0f});
    }
}

void migration_1_0_4_addImporterToFiles(ProjectFile& file) {
    ValueAccess files = file["files"];
    if(!files.isSetInProject() || !files.isArray()) return;
    for(ValueAccess entry: files.range()) {
        /* Only plain path strings of older versions; entries that are
           already objects (or anything else) stay as they are */
        if(!entry.isString()) continue;
        const std::string name{entry.asString()};
        const std::string extension = Path::splitExtension(name).second;
        entry["fileName"].setString(name);
        entry["importerName"].setString(extension == ".fbx" || extension == ".obj" ? "AssimpImporter" : "");
    }
}

}}
