#include "AssetCompiler/AssetCompiler.h"

#include <memory>
#include <mutex>
#include <unordered_set>

#include <xxhash.h>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Font.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

/* Withdrawn on the owning thread when the record is removed or compiled
   again; the job fills the font's slot only while holding the lock of a
   claim that stands, so no slot is written after its claim was withdrawn */
struct AssetCompiler::FontClaim {
    std::mutex mutex;
    bool withdrawn = false;
};

void AssetCompiler::withdrawFontClaim(std::string_view key) {
    const auto found = _fontClaims.find(std::string{key});
    if(found == _fontClaims.end()) return;
    {
        std::lock_guard<std::mutex> lock{found->second->mutex};
        found->second->withdrawn = true;
    }
    _fontClaims.erase(found);
}

namespace {

/* What the font job builds, one entry per font in every list, and where.
   The job reads nothing else of the editor's data: the document and the
   project belong to the owning thread while it runs */
struct FontWork {
    std::vector<std::string> keys;
    std::vector<std::vector<char>> bytes;
    std::vector<std::string> characters;
    std::vector<float> outlineSizes;
    std::vector<Data::Id> ids;
    std::vector<std::shared_ptr<AssetCompiler::FontClaim>> claims;
    std::string cacheDirectory;
    FontStorage* storage = nullptr;
    std::shared_ptr<RunRecord> record;
};

/* Build options of the glyph data: outlines, both band lists, glyph and font
   metrics, kerning and split cubics, in font units; the outline effect on top
   when the font has an outline */
constexpr std::uint32_t GlyphOptions = 0x1035D;
constexpr std::uint32_t GlyphOutlineOptions = 0x103DD;

/* Keys of the fonts that a material of the Text shader draws with */
std::unordered_set<std::string> fontsOfTextMaterials(ProjectFile& file) {
    std::unordered_set<std::string> fonts;
    for(const ValueAccess& material: file.materials().range()) {
        const std::string_view pipeline = material["pipeline"].asString();
        if(pipeline.empty()) continue;
        const std::string_view shader = file.pipelines()[pipeline]["shader"].asString();
        if(shader.empty() || file.shaders()[shader]["link/name"].asString() != "Text.frag") continue;
        fonts.emplace(material["Text/font"].asString());
    }
    return fonts;
}

/* 32 hexadecimal digits of the XXH3 128-bit hash: low half, then high half */
std::string hash128(std::string_view bytes) {
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
    return format("{:016x}{:016x}", hash.low64, hash.high64);
}

/* Glyph data of the font of record @p key; empty, with the reason
   printed, on failure */
std::optional<std::vector<char>> buildFont(std::string_view key, std::vector<char> bytes, std::string_view characters,
    float outlineSize)
{
    const std::unique_ptr<Font::FontDescription> font = Font::importFont(std::move(bytes));
    if(!font) {
        Error{} << "Font compilation failed: could not build font description for font" << key;
        return {};
    }
    const std::vector<Font::CodePointRange> ranges = Font::codePointRanges(characters);
    Font::Effect effect;
    effect.size = outlineSize;
    effect.scale = 1.0f;
    std::optional<std::vector<char>> data = outlineSize > 0.0f ?
        Font::buildGlyphData(*font, ranges, GlyphOutlineOptions, &effect) :
        Font::buildGlyphData(*font, ranges, GlyphOptions);
    if(!data) Error{} << "Font compilation failed: could not build font" << key;
    return data;
}

/* The font job: each font's glyph data from the cache, or built and cached,
   into its slot of the scene's font storage; then a completion that clears
   the pending flag and marks fonts changed, after job @p dependency unless
   that is -1. A cancelled job stops at once, without completion. */
bool runFontJob(FontWork& work, Progress& progress, AssetCompiler& compiler, EditorData& d, JobSystem& jobs, int dependency) {
    const ProgressReference hold{progress};
    Path::makeOwned(work.cacheDirectory);

    for(std::size_t i = 0; i != work.keys.size(); ++i) {
        if(jobs.cancelled()) return false;
        AssetCompiler::FontClaim& claim = *work.claims[i];
        const bool withdrawn = [&]{
            std::lock_guard<std::mutex> lock{claim.mutex};
            return claim.withdrawn;
        }();
        if(!withdrawn) {
            const RunSpanScope span{work.record.get(), RunSpanKind::Font, work.keys[i]};
            using Record = RunRecord;
            const std::string_view bytes{work.bytes[i].data(), work.bytes[i].size()};
            const std::string keyText = format("{}{}{}{:.3f}", 1792, hash128(bytes), work.characters[i], work.outlineSizes[i]);
            CacheEntry entry;
            entry.name = hash128(keyText);
            const std::string path = CompileCache::localPath(CacheKind::Font, work.cacheDirectory, entry.name);

            /* A cache entry counts when it holds whole glyph data */
            compiler.compileCache.get(CacheKind::Font, work.cacheDirectory, {&entry, 1}, [&](const std::vector<std::size_t>&) {
                return std::vector<bool>{Data::isGlyphData(*entry.bytes)};
            });
            std::optional<std::vector<char>> glyphData = std::move(entry.bytes);
            if(!glyphData) {
                Debug{} << "Failed loading font cache file:" << path << Debug::nospace << ", re-compiling";
                work.record->count(Record::CacheKind::Fonts, Record::CacheLevel::Local, Record::CacheEvent::Miss);
                glyphData = buildFont(work.keys[i], std::move(work.bytes[i]), work.characters[i], work.outlineSizes[i]);
                if(glyphData) ++compiler.fontsBuilt;
                if(glyphData && !compiler.compileCache.put(CacheKind::Font, work.cacheDirectory, entry, *glyphData))
                    Error{} << "Failed writing cache file:" << path << "for font" << work.keys[i];
                else if(glyphData) work.record->count(Record::CacheKind::Fonts, Record::CacheLevel::Local, Record::CacheEvent::Write);
            } else {
                ++compiler.fontsFromCache;
                work.record->count(Record::CacheKind::Fonts, Record::CacheLevel::Local, Record::CacheEvent::Hit);
            }
            if(glyphData) {
                ZE_ASSERT(work.ids[i] != 0);
                std::lock_guard<std::mutex> lock{claim.mutex};
                if(!claim.withdrawn) work.storage->set(work.ids[i], std::move(*glyphData));
            }
        }
        ++progress.done;
    }

    std::vector<int> dependencies;
    if(dependency != -1) dependencies.push_back(dependency);
    jobs.dispatchFunc([&compiler, &d](JobSystem&, int) {
        compiler.fontJobPending = 0;
        d.scene().setAssetTypeDirty(AssetType::Fonts);
        return JobResult::Success;
    }, dependencies);
    return true;
}

}

bool AssetCompiler::compileFonts(const ValueAccessRange& range) {
    EditorData& d = data();
    ProjectFile& file = d.projectFile();
    FontStorage& storage = d.scene().main().fonts();
    const std::shared_ptr<Progress> progress = editor().addTask("Compiling fonts");

    auto work = std::make_shared<FontWork>();
    std::optional<std::unordered_set<std::string>> textFonts;
    SectionCursor cursor{file, file.fonts().readValue()};
    for(const ValueAccess& r: range) {
        if(!r.isSetInProject()) {
            withdrawFontClaim(r.key());
            continue;
        }
        const std::string key = r.key();
        /* A job still to build this font builds what the record held before */
        withdrawFontClaim(key);
        const FileLink link = r.fileLink();
        const Resource<std::vector<char>> resource = d.resources().fonts.resolveLink(link);
        if(!resource) {
            Warning{} << "AssetCompiler::compileFonts(): Missing font" << link.name << "from file" << link.file;
            continue;
        }

        Data::Id& id = resourceIndex.fonts[key];
        if(!id) id = storage.add();
        if(!id) {
            Error{} << "AssetCompiler::compileFonts(): No id left for font" << key;
            continue;
        }

        if(!textFonts) textFonts = fontsOfTextMaterials(file);
        if(!textFonts->count(key)) continue;

        const JsonValue* json = cursor.find(key);
        const RecordReader record{file, "fonts", r, json ? json : r.readValue()};
        work->keys.push_back(key);
        work->bytes.push_back(resource.get());
        work->characters.emplace_back(record["characters"].asString());
        work->outlineSizes.push_back(record["outline"].asBool() ? record["outlineSize"].asFloat() : 0.0f);
        work->ids.push_back(id);
        work->claims.push_back(_fontClaims[key] = std::make_shared<FontClaim>());
    }
    work->cacheDirectory = d.project().cachePath();
    work->storage = &storage;
    work->record = editor().runRecord;

    progress->total = std::uint32_t(work->keys.size());
    fontJobPending = 1;
    JobSystem& jobs = *editor().jobSystem;
    jobs.dispatchFunc([this, work, progress, &d, &jobs](JobSystem&, int) {
        return runFontJob(*work, *progress, *this, d, jobs, -1) ? JobResult::Success : JobResult::Cancelled;
    });
    return true;
}

}
