#pragma once
// The project-file migrations. Each rewrites the document in place, from the
// layout an older editor wrote to the layout of the version in its name; the
// order in which they run and their announcements live in
// Tools/ProjectMigrations.h.
//
// A migration touches only the members it names. Records that lack those
// members, or hold them with the wrong JSON kind, are left as they are.

#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ProjectFile;

namespace Migration {

/* 0.7 */

/** Link `file` integers become the path of the imported file, link names are
    re-joined with "<". Prints "Migrating" and each section name. */
ZANDELLE_EXPORT void migration_0_7_3_updateResourceLinksFile(ProjectFile& file);
/** Collision `groups` arrays of booleans become an 8-bit mask */
ZANDELLE_EXPORT void migration_0_7_2_updateCollisionGroup(ProjectFile& file);
/** Projects without script source paths get "js/" */
ZANDELLE_EXPORT void migration_0_7_5_updateScriptingSourcePaths(ProjectFile& file);

/* 0.8 */

/** The default font image and texture records */
ZANDELLE_EXPORT void migration_0_8_2_updateFontTextures(ProjectFile& file);
/** "/js/components/" becomes "/js/editor-components-bundle.js" */
ZANDELLE_EXPORT void migration_0_8_5_updateScriptingSourcePaths(ProjectFile& file);
/** Removes every shader record */
ZANDELLE_EXPORT void migration_0_8_5_removeShaders(ProjectFile& file);
/** Materials name a pipeline instead of a shader. Needs the default
    pipelines in the pipelines section; when one is missing, prints one Error
    line naming it, changes nothing and returns false. */
ZANDELLE_EXPORT bool migration_0_8_5_updateShadersToPipelines(ProjectFile& file);
/** `components` objects keyed "0", "1", ... become arrays again */
ZANDELLE_EXPORT void migration_0_8_5_fixComponentArrays(ProjectFile& file);
/** Unnamed nodes in object link names become "object_N" */
ZANDELLE_EXPORT void migration_0_8_6_updateLinksObjectsEmptyNames(ProjectFile& file);
/** Drops blend equations WebGL does not support */
ZANDELLE_EXPORT void migration_0_8_9_updatePipelineBlendEquations(ProjectFile& file);
/** Removes settings/rendering/meshData */
ZANDELLE_EXPORT void migration_0_8_10_removeObsoleteMeshDataSettings(ProjectFile& file);

/* 0.9 */

/** Shader link names get their ".vert" or ".frag" extension */
ZANDELLE_EXPORT void migration_0_9_0_defaultShaderLinks(ProjectFile& file);
/** Drops blend factors that need a blend constant */
ZANDELLE_EXPORT void migration_0_9_0_unsupportedBlendFunctions(ProjectFile& file);
/** `blendSrc` / `blendDest` split into their RGB and alpha halves */
ZANDELLE_EXPORT void migration_0_9_0_separateBlendFunctions(ProjectFile& file);
/** Text components move from the distance-field material to the Text pipeline */
ZANDELLE_EXPORT void migration_0_9_0_textMaterialToSlug(ProjectFile& file);
/** The default font image and texture get their new names */
ZANDELLE_EXPORT void migration_0_9_0_defaultImage(ProjectFile& file);
/** Removes objects marked deleted and their descendants */
ZANDELLE_EXPORT void migration_0_9_0_deletedObjects(ProjectFile& file);
/** Automatic skin and texture names count per imported file */
ZANDELLE_EXPORT void migration_0_9_0_perFileUnnamedResourceIndices(ProjectFile& file);
/** "Sky.vert" becomes "FullScreenTriangle.vert" */
ZANDELLE_EXPORT void migration_0_9_0_renameSkyToFullScreenTriangle(ProjectFile& file);
/** Removes the ALPHA pipeline feature */
ZANDELLE_EXPORT void migration_0_9_4_removeAlphaFeature(ProjectFile& file);
/** Font settings become a record of the fonts section */
ZANDELLE_EXPORT void migration_0_9_4_moveFontToResource(ProjectFile& file);
/** Materials of the Text shader get a font */
ZANDELLE_EXPORT void migration_0_9_4_textMaterialAddFont(ProjectFile& file);
/** Unused skins equal to a used one are removed and references remapped.
    Prints one Debug line per removed skin. */
ZANDELLE_EXPORT void migration_0_9_4_mergeDuplicateSkins(ProjectFile& file);
/** "... Opaque Textured" pipelines get the ALPHA_MASKED feature */
ZANDELLE_EXPORT void migration_0_9_4_addAlphaMaskedFeature(ProjectFile& file);
/** `transformation` matrices become translation, rotation and scaling; a
    matrix that does not decompose exactly (shear) gets a Warning */
ZANDELLE_EXPORT void migration_0_9_5_transformationToTRS(ProjectFile& file);

/* 1.0 */

ZANDELLE_EXPORT void migration_1_0_0_renameShaderTypeToStage(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_renameScaleToScaling(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_automaticEntryPointJs(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_deprecateUseInternalBundler(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_updateEsbuildFlags(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_removeAutomaticEntryPointJsFlag(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_imageCompressToCompression(ProjectFile& file);
/** settings/ar/framework becomes settings/ar/enable. An 8th Wall API token is
    moved out of the project into the note "8thwall_migrate_to_1.0.0.txt" in
    @p projectRoot (not written when @p projectRoot is empty), with two
    Warning lines. */
ZANDELLE_EXPORT void migration_1_0_0_arFramework(ProjectFile& file, std::string_view projectRoot);
ZANDELLE_EXPORT void migration_1_0_0_renameRangeToShadowRange(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_convertAttenuationToIntensity(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_0_addPhongFeatureDeprecatedAttenuation(ProjectFile& file);
/** The Phong ambient colour becomes emissive, ambient a grey factor. Runs
    after shader loading (the loader's finishing job), not in the sequence. */
ZANDELLE_EXPORT void migration_1_0_0_phongColorChanges(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_0_4_addImporterToFiles(ProjectFile& file);

/* 1.1 */

/** The `files` array becomes a resource section of fileName/importerName records */
ZANDELLE_EXPORT void migration_1_1_0_convertFilesToResourceSection(ProjectFile& file);
ZANDELLE_EXPORT void migration_1_1_0_addSkinPropertyToAnimationComponents(ProjectFile& file);

}}
