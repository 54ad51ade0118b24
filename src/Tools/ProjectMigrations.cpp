// The migration sequence. The order of the steps below is the order of
// execution, not the order of their version thresholds: some older changes
// were added to the sequence later, and a few steps need the shaders loaded.

#include "Tools/ProjectMigrations.h"

#include <algorithm>

#include "Base/Log.h"
#include "Editor/ProjectFile.h"
#include "Tools/Migrations.h"

namespace ZandelleEngine {

namespace {

/* Top-level records of @p after that differ from @p before: "section/key"
   for records of object sections, the member name for anything else
   ("settings", a "files" array) */
std::vector<std::string> changedRecords(const JsonValue& before, const JsonValue& after) {
    std::vector<std::string> out;
    const JsonValue empty{rapidjson::kObjectType};
    auto compareMember = [&](std::string_view name, const JsonValue* a, const JsonValue* b) {
        /* A section that appears or disappears lists its records */
        if(!a && b && b->IsObject()) a = &empty;
        if(!b && a && a->IsObject()) b = &empty;
        if(a && b && a->IsObject() && b->IsObject() && name != "settings") {
            for(const auto& m: b->GetObject()) {
                auto old = a->FindMember(m.name);
                if(old == a->MemberEnd() || old->value != m.value)
                    out.push_back(std::string{name} + "/" + std::string{m.name.GetString(), m.name.GetStringLength()});
            }
            for(const auto& m: a->GetObject())
                if(!b->HasMember(m.name))
                    out.push_back(std::string{name} + "/" + std::string{m.name.GetString(), m.name.GetStringLength()});
            return;
        }
        if(!a || !b || *a != *b) out.emplace_back(name);
    };
    auto find = [](const JsonValue& root, const JsonValue& name) -> const JsonValue* {
        if(!root.IsObject()) return nullptr;
        auto found = root.FindMember(name);
        return found == root.MemberEnd() ? nullptr : &found->value;
    };
    if(after.IsObject()) for(const auto& m: after.GetObject())
        compareMember({m.name.GetString(), m.name.GetStringLength()}, find(before, m.name), &m.value);
    if(before.IsObject()) for(const auto& m: before.GetObject())
        if(!find(after, m.name)) compareMember({m.name.GetString(), m.name.GetStringLength()}, &m.value, nullptr);
    return out;
}

/* Runs one step: its announcement, then the step, and when a report is
   wanted, a comparison of the document before and after */
class Sequence {
    public:
        Sequence(ProjectFile& file, std::vector<MigrationStep>* report): _file{file}, _report{report} {}

        template<class F> void migration(const char* message, const char* name, F&& step) {
            if(message) Debug{} << message;
            run(name, true, step);
        }

        /* Work of the loader inside the sequence; in the report only when it
           changed the document */
        void hook(const char* name, const std::function<void()>& step) {
            if(step) run(name, false, step);
        }

    private:
        template<class F> void run(const char* name, bool alwaysReport, F& step) {
            if(!_report) { step(); return; }
            JsonDocument before;
            before.CopyFrom(_file.projectFile(), before.GetAllocator());
            step();
            MigrationStep entry{name, changedRecords(before, _file.projectFile())};
            if(alwaysReport || !entry.changedRecords.empty()) _report->push_back(std::move(entry));
        }

        ProjectFile& _file;
        std::vector<MigrationStep>* _report;
};

}

bool runMigrations(ProjectFile& file, const ProjectVersion& version, std::string_view projectRoot,
    const MigrationHooks& hooks, std::vector<MigrationStep>* report)
{
    using namespace Migration;
    Sequence s{file, report};
    #define ZE_MIGRATION(message, function) s.migration(message, #function, [&]{ function(file); })

    if(version.olderThanRelease(0, 7, 3))
        ZE_MIGRATION("Updating resource links file property (=> 0.7.3)", migration_0_7_3_updateResourceLinksFile);
    if(version.olderThanRelease(0, 7, 2))
        ZE_MIGRATION("Updating collision group property (=> 0.7.2)", migration_0_7_2_updateCollisionGroup);
    if(version.olderThanRelease(0, 7, 5))
        ZE_MIGRATION("Updating scripting sourcePaths (=> 0.7.5)", migration_0_7_5_updateScriptingSourcePaths);
    if(version.olderThanRelease(0, 8, 2))
        ZE_MIGRATION("Updating font textures (=> 0.8.2)", migration_0_8_2_updateFontTextures);
    if(version.olderThanRelease(0, 8, 5)) {
        ZE_MIGRATION("Updating scripting sourcePaths (=> 0.8.5)", migration_0_8_5_updateScriptingSourcePaths);
        ZE_MIGRATION("Removing old shader resources (=> 0.8.5)", migration_0_8_5_removeShaders);
    }
    if(version.olderThanRelease(0, 8, 10))
        ZE_MIGRATION("Removing obsolete meshData settings (=> 0.8.10)", migration_0_8_10_removeObsoleteMeshDataSettings);
    if(version.olderThanRelease(0, 9, 0))
        ZE_MIGRATION("Updating shader name in link (=> 0.9.0)", migration_0_9_0_defaultShaderLinks);

    /* The default pipelines the next step maps materials to come from here */
    s.hook("loadShaders", hooks.loadShaders);

    if(version.olderThanRelease(0, 8, 5)) {
        bool ok = true;
        s.migration("Updating shaders to pipelines (=> 0.8.5)", "migration_0_8_5_updateShadersToPipelines",
            [&]{ ok = migration_0_8_5_updateShadersToPipelines(file); });
        if(!ok) return false;
    }
    /* Only release candidates of 0.8.6 wrote components as objects */
    if(version.olderThanRelease(0, 8, 6) && version.prerelease != 0)
        ZE_MIGRATION("Fixing components arrays that were converted to objects (=> 0.8.6 from 0.8.6 RC)", migration_0_8_5_fixComponentArrays);
    if(version.olderThanRelease(0, 8, 6))
        ZE_MIGRATION("Updating links for objects with empty names (=> 0.8.6)", migration_0_8_6_updateLinksObjectsEmptyNames);
    if(version.olderThanRelease(0, 8, 9))
        ZE_MIGRATION("Updating pipeline blend equations, removing values not supported in WebGL (=> 0.8.9)", migration_0_8_9_updatePipelineBlendEquations);
    if(version.olderThanRelease(0, 9, 0)) {
        ZE_MIGRATION("Updating pipeline blend functions, removing values requiring a blend constant (=> 0.9.0)", migration_0_9_0_unsupportedBlendFunctions);
        ZE_MIGRATION("Separating RGB and Alpha blend functions (=> 0.9.0)", migration_0_9_0_separateBlendFunctions);
        ZE_MIGRATION("Updating text components to use Text pipeline (=> 0.9.0)", migration_0_9_0_textMaterialToSlug);
        ZE_MIGRATION(nullptr, migration_0_9_0_defaultImage);
        ZE_MIGRATION("Deleting objects marked as deleted from project (=> 0.9.0)", migration_0_9_0_deletedObjects);
        ZE_MIGRATION("Updating automatic skin and texture naming scheme (=> 0.9.0)", migration_0_9_0_perFileUnnamedResourceIndices);
        ZE_MIGRATION("Updating Sky.vert to FullScreenTriangle.vert (=> 0.9.0)", migration_0_9_0_renameSkyToFullScreenTriangle);
    }
    if(version.olderThanRelease(0, 9, 4)) {
        ZE_MIGRATION("Removing ALPHA pipeline feature (=> 0.9.4)", migration_0_9_4_removeAlphaFeature);
        ZE_MIGRATION("Moving font settings to a resource (=> 0.9.4)", migration_0_9_4_moveFontToResource);
        ZE_MIGRATION("Adding font to Text material (=> 0.9.4)", migration_0_9_4_textMaterialAddFont);
        ZE_MIGRATION("Merging duplicate skins (=> 0.9.4)", migration_0_9_4_mergeDuplicateSkins);
        ZE_MIGRATION("Adding ALPHA_MASKED feature to existing pipelines (=> 0.9.4)", migration_0_9_4_addAlphaMaskedFeature);
    }
    if(version.olderThanRelease(0, 9, 5))
        ZE_MIGRATION("Migrating 'transformation' to 'translation', 'rotation', and 'scale' (=> 0.9.5)", migration_0_9_5_transformationToTRS);
    if(version.olderThanRelease(1, 0, 0)) {
        /* Projects that chose a bundler before keep their setup; the others
           get the npm package files */
        const bool hadBundlingType = file["settings/scripting/bundlingType"].isSetInProject();
        ZE_MIGRATION("Migrating shader 'type' to 'stage' (=> 1.0.0)", migration_1_0_0_renameShaderTypeToStage);
        ZE_MIGRATION("Migrating 'scale' to 'scaling' (=> 1.0.0)", migration_1_0_0_renameScaleToScaling);
        ZE_MIGRATION("Disabling 'settings/scripting/autoManageEntryPoint' for npm project (=> 1.0.0)", migration_1_0_0_automaticEntryPointJs);
        ZE_MIGRATION("Migrating 'useInternalBundler' to 'bundlingType' (=> 1.0.0)", migration_1_0_0_deprecateUseInternalBundler);
        if(!hadBundlingType) {
            Debug{} << "Copy npm setup files (=> 1.0.0)";
            s.hook("copyNpmSetupFiles", hooks.copyNpmSetupFiles);
        }
        ZE_MIGRATION("Updating 'esbuildFlags' with '--format=esm' (=> 1.0.0)", migration_1_0_0_updateEsbuildFlags);
        ZE_MIGRATION("Removing 'settings/scripting/autoManageEntryPoint' replaced by inlined tags (=> 1.0.0)", migration_1_0_0_removeAutomaticEntryPointJsFlag);
        ZE_MIGRATION("Migrating image 'compress' to 'compression' (=> 1.0.0)", migration_1_0_0_imageCompressToCompression);
        s.migration("Migrating setting 'ar/framework' to 'ar/enable' (=> 1.0.0)", "migration_1_0_0_arFramework",
            [&]{ migration_1_0_0_arFramework(file, projectRoot); });
        ZE_MIGRATION("Migrating light 'range' to 'shadowRange' (=> 1.0.0)", migration_1_0_0_renameRangeToShadowRange);
        ZE_MIGRATION("Migrating light 'attenuation' to 'intensity' (=> 1.0.0)", migration_1_0_0_convertAttenuationToIntensity);
        ZE_MIGRATION("Adding 'DEPRECATED_LIGHT_ATTENUATION' feature to Phong pipeline (=> 1.0.0)", migration_1_0_0_addPhongFeatureDeprecatedAttenuation);
    }

    s.hook("installDependencies", hooks.installDependencies);

    if(version.olderThanRelease(1, 0, 4))
        ZE_MIGRATION("Migrating files array to include importer (=> 1.0.4)", migration_1_0_4_addImporterToFiles);
    if(version.olderThanRelease(1, 1, 0)) {
        ZE_MIGRATION("Converting files array to resource section (=> 1.1.0)", migration_1_1_0_convertFilesToResourceSection);
        ZE_MIGRATION("Adding 'skin' property to animation components (=> 1.1.0)", migration_1_1_0_addSkinPropertyToAnimationComponents);
    }

    #undef ZE_MIGRATION
    return true;
}

}
