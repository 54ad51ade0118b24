#pragma once
// Basis Universal encoding and transcoding through the basisu executable,
// behind the configuration interface of the "BasisImageConverter" and
// "BasisImporter" plug-ins.
//
// Each instance owns a scratch directory under the system's temporary
// directory (removed with the instance) where it writes the tiles it encodes
// or the files it opens and lets the executable write its output; one
// instance must therefore be used by one thread at a time. The executable
// takes many files per run and treats each on its own, so a batch costs one
// process start instead of one per file and gives the same bytes. When the
// executable is missing, available() is false and every operation fails
// with an Error line.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

namespace Trade {

/** GPU block formats, numbered as the editor's compressed-texture setting
    numbers them */
enum class CompressedPixelFormat: std::uint8_t {
    Bc3RGBAUnorm = 7, Bc7RGBAUnorm = 15, Etc2RGBA8Unorm = 25, Astc4x4RGBAUnorm = 27
};

/** Blocks of 4 x 4 pixels, 16 bytes each, rows of blocks bottom to top */
struct CompressedImageData {
    CompressedPixelFormat format = CompressedPixelFormat::Bc3RGBAUnorm;
    Vector2i size{0};
    std::vector<char> data;
};

}

/** The basisu executable: $ZANDELLE_BASISU when set, else the one the
    dependency script installs beside the sources */
ZANDELLE_EXPORT std::string basisExecutable();

/** Runs of the executable and the wall time they took */
struct BasisRuns {
    std::uint64_t runs = 0;
    double seconds = 0.0;
};

/** What one run of the executable costs beyond its images: the wall time
    of encoding a 4 x 4 image, the best of @p tries runs; empty when the
    executable is missing or fails */
ZANDELLE_EXPORT std::optional<double> basisStartupSeconds(const std::string& executable = basisExecutable(), int tries = 3);

/** Encodes an eight-bit image into a .basis file.

    Configuration: "compression_level" (integer), "threads" (1 runs the
    encoder single-threaded), "mip_gen" ("true" lets the encoder make mip
    levels), "mip_filter", "mip_srgb" (used with "mip_gen"), "y_flip"
    ("true" flips rows), "uastc" ("true" encodes UASTC instead of ETC1S). */
class ZANDELLE_EXPORT BasisImageConverter {
    public:
        explicit BasisImageConverter(std::string executable = basisExecutable());
        ~BasisImageConverter();
        BasisImageConverter(const BasisImageConverter&) = delete;
        BasisImageConverter& operator=(const BasisImageConverter&) = delete;

        bool available() const;
        void setValue(std::string_view key, std::string_view value);
        std::string_view value(std::string_view key) const;

        /** The .basis bytes of @p image; empty, with an Error line, when the
            image cannot be written or the executable fails */
        std::optional<std::vector<char>> convertToData(const Trade::ImageData& image);

        /** The .basis bytes of each of @p images, all encoded by one run of
            the executable; images it did not encode there are encoded one
            run each, so every entry is what convertToData() gives. With
            @p errors nothing is printed: it receives, per image, why it
            failed (empty for an image that encoded). */
        std::vector<std::optional<std::vector<char>>> convertToData(std::span<const Trade::ImageData* const> images,
            std::vector<std::string>* errors = nullptr);

        /** Images encoded so far (successful or not) */
        std::uint64_t encodeCount() const { return _encodes; }
        /** Runs of the executable so far */
        BasisRuns runs() const { return _runs; }

    private:
        /* convertToData() without printing: @p reasons, one per image, get
           why an image failed */
        std::vector<std::optional<std::vector<char>>> encode(std::span<const Trade::ImageData* const> images,
            std::vector<std::string>& reasons);

        std::string _executable, _directory;
        std::map<std::string, std::string, std::less<>> _configuration;
        std::uint64_t _encodes = 0;
        BasisRuns _runs;
};

/** Opens .basis files: validates and transcodes the first image's first
    level to the format named by the global configuration value "format":
    "Bc3RGBA", "Bc7RGBA", "Etc2RGBA", "Astc4x4RGBA", or "RGBA" (the default),
    which only validates and transcodes to plain pixels that are not kept. */
class ZANDELLE_EXPORT BasisImporter {
    public:
        /** The global configuration shared by every instance */
        static void setGlobalValue(std::string_view key, std::string_view value);
        static std::string globalValue(std::string_view key);

        explicit BasisImporter(std::string executable = basisExecutable());
        ~BasisImporter();
        BasisImporter(const BasisImporter&) = delete;
        BasisImporter& operator=(const BasisImporter&) = delete;

        bool available() const;

        /** Validates and transcodes @p data; false when the file is damaged
            or the executable fails. Replaces what an earlier call opened. */
        bool openData(std::span<const char> data);
        bool isOpened() const { return _opened; }

        /** What opening one file gives: whether it is valid, and the
            transcoded first level as image() has it */
        struct Opened {
            bool valid = false;
            std::optional<Trade::CompressedImageData> image;
        };

        /** Opens each of @p files as openData() does, all with one run of
            the executable; when some file is damaged, each is opened with a
            run of its own. Leaves what openData() opened alone. */
        std::vector<Opened> openAll(std::span<const std::span<const char>> files);

        /** The transcoded first level; empty when nothing is open or the
            target is "RGBA" */
        const std::optional<Trade::CompressedImageData>& image() const { return _image; }

        /** Runs of the executable so far */
        BasisRuns runs() const { return _runs; }

    private:
        std::string _executable, _directory;
        BasisRuns _runs;
        bool _opened = false;
        std::optional<Trade::CompressedImageData> _image;
};

/** Level 0 of a KTX 1 file: the size from the header and the first level's
    bytes; empty for bytes that are not a complete KTX 1 file */
ZANDELLE_EXPORT std::optional<std::pair<Vector2i, std::vector<char>>> readKtxLevel0(std::span<const char> data);

}
