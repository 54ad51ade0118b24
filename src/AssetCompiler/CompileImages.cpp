#include "AssetCompiler/AssetCompiler.h"

#include <chrono>
#include <cmath>
#include <limits>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Basis.h"
#include "Engine/ImageTools.h"

namespace ZandelleEngine {

namespace {

using namespace CompileHelpers;
using Trade::PixelFormat;

/* The format an image of @p format is stored in; empty when it has none */
std::optional<PixelFormat> storedFormat(PixelFormat format) {
    switch(format) {
        case PixelFormat::R8Unorm: case PixelFormat::RG8Unorm: case PixelFormat::RGB8Unorm: case PixelFormat::RGBA8Unorm:
        case PixelFormat::R8UI: case PixelFormat::RG8UI: case PixelFormat::RGB8UI: case PixelFormat::RGBA8UI:
            return format;
        case PixelFormat::R16Unorm: case PixelFormat::R16UI: return PixelFormat::R8Unorm;
        case PixelFormat::RG16Unorm: case PixelFormat::RG16UI: return PixelFormat::RG8Unorm;
        case PixelFormat::RGB16Unorm: case PixelFormat::RGB16UI: return PixelFormat::RGB8Unorm;
        case PixelFormat::RGBA16Unorm: case PixelFormat::RGBA16UI: return PixelFormat::RGBA8Unorm;
        default: return {};
    }
}

/* Opaque magenta: a failed conversion stays visible in the scene */
Trade::ImageData magenta(Vector2i size) {
    Trade::ImageData image;
    image.format = PixelFormat::RGBA8Unorm;
    image.size = size;
    image.data.resize(std::size_t(size.x)*size.y*4);
    for(std::size_t i = 0; i < image.data.size(); i += 4) {
        image.data[i] = 255;
        image.data[i + 1] = 0;
        image.data[i + 2] = 255;
        image.data[i + 3] = 255;
    }
    return image;
}

/* A "maxSize" entry as a whole number of pixels; no limit for values too
   large for one */
int sizeLimit(float value) {
    if(std::isnan(value)) return 0;
    return value >= 2147483520.0f ? std::numeric_limits<int>::max() : int(std::max(value, -1.0f));
}

}


void AssetCompiler::writeUncompressedImage(std::string_view key, const Trade::ImageData& image) {
    /* A key from the project names the cache file: one like "../x" must
       not place it outside the cache */
    if(!Path::isPlainName(key)) {
        Warning{} << "AssetCompiler::compileImages(): Image" << key << "cannot name a cache file, not cached";
        return;
    }
    const std::string directory = data().project().cachePath();
    const std::string path = Path::join(directory, std::string{key} + ".png");
    const auto start = std::chrono::steady_clock::now();
    if(!Path::makeOwned(directory) || !ImageTools::writePng(path, image, Path::Sync::Rewritable)) {
        Error{} << "Unable to write uncompressed image" << path;
        return;
    }
    const auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    Debug{} << "Wrote uncompressed image" << path << "in" << double(microseconds)/1e6 << "s";
}

bool AssetCompiler::compileImages(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();
    std::vector<std::string> compress;

    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const FileLink link = r.fileLink();
        Data::Id& id = resourceIndex.images[key];
        const Resource<Trade::ImageData> resource = d.resources().images.resolveLink(link);
        if(!resource) {
            Warning{} << "AssetCompiler::compileImages(): Missing image" << link.name << "from file" << link.file;
            continue;
        }
        const std::string name{r["name"].asString()};
        const Trade::ImageData& source = resource.get();
        if(source.size.x <= 0 || source.size.y <= 0) {
            Warning{} << "Cannot compile image" << name << "- image is empty";
            continue;
        }

        Vector2i target = source.size;
        const std::vector<float> maxSize = r["maxSize"].asFloatArray();
        if(maxSize.size() >= 2) target = glm::min(target, Vector2i{sizeLimit(maxSize[0]), sizeLimit(maxSize[1])});

        /* Everything is stored with eight bits per channel */
        Trade::ImageData image;
        const std::optional<PixelFormat> stored = storedFormat(source.format);
        bool converted = stored && *stored == source.format;
        if(converted) image = source;
        else if(stored) {
            image.format = *stored;
            image.size = source.size;
            image.data.resize(std::size_t(source.size.x)*source.size.y*Trade::pixelSize(*stored));
            converted = source.data.size() >= std::size_t(source.size.x)*source.size.y*Trade::pixelSize(source.format) &&
                ImageTools::convert(source, image);
            if(converted)
                Warning{} << "Converted image" << name << "from pixel format" << Trade::pixelFormatName(source.format)
                    << "to" << Trade::pixelFormatName(*stored);
        }
        if(!converted) {
            Error{} << "Cannot compile image" << name << "- unsupported pixel format" << Trade::pixelFormatName(source.format);
            image = magenta(source.size);
        }

        if(target.x <= 0 || target.y <= 0) {
            Warning{} << "Cannot scale down image" << name << "- invalid size" << target.x << target.y;
            continue;
        }
        if(target != image.size) {
            ImageTools::StbResizeImageConverter& converter = *threadImagePlugins().resizer;
            converter.setValue("size", format("{} {}", target.x, target.y));
            std::optional<Trade::ImageData> scaled = converter.convert(image);
            if(!scaled) {
                Warning{} << "Cannot scale down image" << name << "- unsupported pixel format" << Trade::pixelFormatName(image.format);
                continue;
            }
            image = std::move(*scaled);
        }

        std::string compression{r["compression"].asString()};
        if(compression != "none" && !threadImagePlugins().encoder->available()) {
            Error{} << "Cannot compress image" << name << "- Basis encoder not found at" << basisExecutable();
            compression = "none";
        }
        if(compression == "none") writeUncompressedImage(key, image);

        Data::ByteArray imageData = Data::createImageData(Vector3i{image.size, 1}, key + ".png");
        {
            std::lock_guard<std::mutex> lock{scene.imagesMutex};
            /* A new revision, so that a job still compressing the old
               pixels leaves the slot alone */
            const std::uint32_t revision = id ? scene.images[id].revision + 1 : 0;
            if(id && compression != "none") keepPreviousTiles(key, scene.images[id]);
            if(!storeInSlot(id, {"compileImages", "image", key}, std::tie(scene.images, scene.streamedImages),
                EditorSceneData::CompiledImage{std::move(image), std::move(imageData), {}, {}, revision}, r["stream"].asBool()))
                continue;
        }

        if(compression != "none") {
            compress.push_back(key);
            ++pendingImageJobs;
        }
    }

    compressImages(compress);
    scene.setAssetTypeDirty(AssetType::Images);
    return true;
}

}
