#include "Engine/Basis.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Engine/ImageTools.h"

extern char** environ;

namespace ZandelleEngine {

namespace {

/* A fresh directory of the system's temporary directory; empty on failure */
std::string makeScratchDirectory() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec)/"zandelle-basis-XXXXXX").string();
    if(ec) pattern = "/tmp/zandelle-basis-XXXXXX";
    if(!::mkdtemp(pattern.data())) return {};
    return pattern;
}

/* An empty folder @p name inside @p directory, which is made on first use;
   empty on failure */
std::string emptyScratchFolder(std::string& directory, std::string_view name) {
    if(directory.empty()) directory = makeScratchDirectory();
    if(directory.empty()) return {};
    const std::string folder = Path::join(directory, name);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return Path::make(folder) ? folder : std::string{};
}

void removeScratchDirectory(const std::string& directory) {
    if(directory.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
}

/* Runs @p executable with @p arguments in @p directory, its output dropped;
   the exit code, -1 when it could not start or did not exit normally */
int run(const std::string& executable, const std::vector<std::string>& arguments, const std::string& directory) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for(const std::string& a: arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int spawned = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if(spawned != 0) return -1;
    int status = 0;
    while(::waitpid(pid, &status, 0) < 0)
        if(errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/* run(), timed into @p runs */
int timedRun(BasisRuns& runs, const std::string& executable, const std::vector<std::string>& arguments, const std::string& directory) {
    const auto start = std::chrono::steady_clock::now();
    const int code = run(executable, arguments, directory);
    ++runs.runs;
    runs.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return code;
}

bool isExecutable(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), X_OK) == 0 && !Path::isDirectory(path);
}

std::uint32_t readU32(std::span<const char> data, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, data.data() + offset, 4);
    return v;
}

struct TargetFormat {
    std::string_view name;
    int basisFormat;                   /* the executable's -format_only code */
    std::optional<Trade::CompressedPixelFormat> format;
};

constexpr TargetFormat TargetFormats[]{
    {"Etc2RGBA", 1, Trade::CompressedPixelFormat::Etc2RGBA8Unorm},
    {"Bc3RGBA", 3, Trade::CompressedPixelFormat::Bc3RGBAUnorm},
    {"Bc7RGBA", 6, Trade::CompressedPixelFormat::Bc7RGBAUnorm},
    {"Astc4x4RGBA", 10, Trade::CompressedPixelFormat::Astc4x4RGBAUnorm},
    {"RGBA", 13, {}},
};

std::mutex globalMutex;
std::map<std::string, std::string, std::less<>> globalConfiguration{{"format", "RGBA"}};

}

std::string basisExecutable() {
    if(const char* path = std::getenv("ZANDELLE_BASISU"); path && *path) return path;
#ifdef ZANDELLE_BASISU_PATH
    return ZANDELLE_BASISU_PATH;
#else
    return {};
#endif
}

std::optional<double> basisStartupSeconds(const std::string& executable, int tries) {
    BasisImageConverter converter{executable};
    converter.setValue("threads", "1");
    Trade::ImageData tiny{Trade::PixelFormat::RGBA8Unorm, {4, 4}, std::vector<std::uint8_t>(64, 0x80)};
    const Trade::ImageData* const images[]{&tiny};
    std::optional<double> best;
    for(int i = 0; i < tries; ++i) {
        const double before = converter.runs().seconds;
        std::vector<std::string> reasons;
        if(!converter.convertToData(images, &reasons).front()) return {};
        const double seconds = converter.runs().seconds - before;
        if(!best || seconds < *best) best = seconds;
    }
    return best;
}

BasisImageConverter::BasisImageConverter(std::string executable): _executable{std::move(executable)} {}

BasisImageConverter::~BasisImageConverter() { removeScratchDirectory(_directory); }

bool BasisImageConverter::available() const { return isExecutable(_executable); }

void BasisImageConverter::setValue(std::string_view key, std::string_view value) {
    _configuration.insert_or_assign(std::string{key}, std::string{value});
}

std::string_view BasisImageConverter::value(std::string_view key) const {
    auto found = _configuration.find(key);
    return found == _configuration.end() ? std::string_view{} : std::string_view{found->second};
}

std::optional<std::vector<char>> BasisImageConverter::convertToData(const Trade::ImageData& image) {
    const Trade::ImageData* const images[]{&image};
    return std::move(convertToData(images).front());
}

std::vector<std::optional<std::vector<char>>> BasisImageConverter::convertToData(std::span<const Trade::ImageData* const> images,
    std::vector<std::string>* errors)
{
    std::vector<std::string> reasons(images.size());
    std::vector<std::optional<std::vector<char>>> out = encode(images, reasons);
    if(errors) *errors = std::move(reasons);
    /* A reason that all images share (no executable) is printed once */
    else for(std::size_t i = 0; i != reasons.size(); ++i)
        if(!reasons[i].empty() && (i == 0 || reasons[i] != reasons[i - 1]))
            Error{} << "Trade::BasisImageConverter::convertToData():" << reasons[i];
    return out;
}

std::vector<std::optional<std::vector<char>>> BasisImageConverter::encode(std::span<const Trade::ImageData* const> images,
    std::vector<std::string>& reasons)
{
    std::vector<std::optional<std::vector<char>>> out(images.size());
    auto failAll = [&](const std::string& reason) {
        for(std::string& r: reasons) r = reason;
        return out;
    };
    if(images.empty()) return out;
    if(!available()) return failAll("basisu executable not found at " + _executable);
    const std::string output = emptyScratchFolder(_directory, "out");
    if(output.empty()) return failAll("cannot write the image to a scratch file");

    std::vector<std::string> arguments;
    if(!value("compression_level").empty()) arguments.insert(arguments.end(), {"-comp_level", std::string{value("compression_level")}});
    if(value("threads") == "1") arguments.push_back("-no_multithreading");
    if(value("mip_gen") == "true") {
        arguments.push_back("-mipmap");
        if(!value("mip_filter").empty()) arguments.insert(arguments.end(), {"-mip_filter", std::string{value("mip_filter")}});
        arguments.push_back(value("mip_srgb") == "true" ? "-mip_srgb" : "-mip_linear");
    }
    if(value("y_flip") == "true") arguments.push_back("-y_flip");
    if(value("uastc") == "true") arguments.push_back("-uastc");
    arguments.insert(arguments.end(), {"-output_path", "out"});
    /* Input tileN.png becomes out/tileN.basis */
    std::vector<std::size_t> written;
    for(std::size_t i = 0; i != images.size(); ++i) {
        const std::string input = "tile" + std::to_string(i) + ".png";
        if(!ImageTools::writePng(Path::join(_directory, input), *images[i], Path::Sync::Rewritable)) {
            reasons[i] = "cannot write the image to a scratch file";
            continue;
        }
        arguments.insert(arguments.end(), {"-file", input});
        written.push_back(i);
    }
    if(written.empty()) return out;

    _encodes += written.size();
    const int code = timedRun(_runs, _executable, arguments, _directory);
    std::vector<std::size_t> missing;
    for(const std::size_t i: written) {
        std::optional<std::vector<char>> data = Path::read(Path::join(output, "tile" + std::to_string(i) + ".basis"));
        if(data && !data->empty()) out[i] = std::move(data);
        else missing.push_back(i);
    }
    /* A run stops at the first image it fails on: the others get runs of
       their own */
    if(written.size() > 1) {
        for(const std::size_t i: missing) {
            std::vector<std::string> reason(1);
            out[i] = std::move(encode(images.subspan(i, 1), reason).front());
            reasons[i] = std::move(reason.front());
        }
    } else if(!missing.empty())
        reasons[missing.front()] = "encoding failed with exit code " + std::to_string(code);
    return out;
}

void BasisImporter::setGlobalValue(std::string_view key, std::string_view value) {
    std::lock_guard<std::mutex> lock{globalMutex};
    globalConfiguration.insert_or_assign(std::string{key}, std::string{value});
}

std::string BasisImporter::globalValue(std::string_view key) {
    std::lock_guard<std::mutex> lock{globalMutex};
    auto found = globalConfiguration.find(key);
    return found == globalConfiguration.end() ? std::string{} : found->second;
}

BasisImporter::BasisImporter(std::string executable): _executable{std::move(executable)} {}

BasisImporter::~BasisImporter() { removeScratchDirectory(_directory); }

bool BasisImporter::available() const { return isExecutable(_executable); }

bool BasisImporter::openData(std::span<const char> data) {
    const std::span<const char> files[]{data};
    std::vector<Opened> opened = openAll(files);
    _opened = opened.front().valid;
    _image = std::move(opened.front().image);
    return _opened;
}

std::vector<BasisImporter::Opened> BasisImporter::openAll(std::span<const std::span<const char>> files) {
    std::vector<Opened> out(files.size());
    if(files.empty()) return out;
    if(!available()) {
        Error{} << "Trade::BasisImporter::openData(): basisu executable not found at" << _executable;
        return out;
    }
    const std::string formatName = globalValue("format");
    const TargetFormat* target = nullptr;
    for(const TargetFormat& f: TargetFormats) if(f.name == formatName) target = &f;
    if(!target) {
        Error{} << "Trade::BasisImporter::openData(): unknown format" << formatName;
        return out;
    }

    const std::string unpack = emptyScratchFolder(_directory, "unpack");
    bool written = !unpack.empty();
    std::vector<std::string> arguments{"-unpack", "-ktx_only", "-format_only", std::to_string(target->basisFormat)};
    for(std::size_t i = 0; i != files.size() && written; ++i) {
        const std::string input = "in" + std::to_string(i) + ".basis";
        written = Path::writeAtomic(Path::join(_directory, input), std::string_view{files[i].data(), files[i].size()},
            Path::Sync::Rewritable);
        arguments.insert(arguments.end(), {"-file", "../" + input});
    }
    if(!written) {
        Error{} << "Trade::BasisImporter::openData(): cannot write a scratch file";
        return out;
    }

    /* A run stops at the first damaged file and its exit code does not say
       which: then every file gets a run of its own */
    if(timedRun(_runs, _executable, arguments, unpack) != 0) {
        if(files.size() > 1) for(std::size_t i = 0; i != files.size(); ++i)
            out[i] = std::move(openAll(files.subspan(i, 1)).front());
        return out;
    }
    if(!target->format) {
        for(Opened& o: out) o.valid = true;
        return out;
    }
    /* The executable names its output after the input and the format:
       inN_<format>.ktx */
    const std::vector<std::string> names = Path::list(unpack).value_or(std::vector<std::string>{});
    for(std::size_t i = 0; i != files.size(); ++i) {
        const std::string prefix = "in" + std::to_string(i) + "_";
        for(const std::string& name: names) {
            if(!name.starts_with(prefix) || !name.ends_with(".ktx")) continue;
            const std::optional<std::vector<char>> ktx = Path::read(Path::join(unpack, name));
            if(std::optional<std::pair<Vector2i, std::vector<char>>> level = ktx ? readKtxLevel0(*ktx) : std::nullopt)
                out[i] = Opened{true, Trade::CompressedImageData{*target->format, level->first, std::move(level->second)}};
        }
    }
    return out;
}

std::optional<std::pair<Vector2i, std::vector<char>>> readKtxLevel0(std::span<const char> data) {
    static constexpr unsigned char Identifier[12]{0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
    if(data.size() < 64 || std::memcmp(data.data(), Identifier, 12) != 0 || readU32(data, 12) != 0x04030201)
        return {};
    const Vector2i size{int(readU32(data, 36)), int(readU32(data, 40))};
    const std::size_t keyValueBytes = readU32(data, 60);
    if(keyValueBytes > data.size() - 64 || data.size() - 64 - keyValueBytes < 4) return {};
    const std::size_t at = 64 + keyValueBytes;
    const std::size_t imageSize = readU32(data, at);
    if(imageSize > data.size() - at - 4) return {};
    return std::pair{size, std::vector<char>(data.begin() + at + 4, data.begin() + at + 4 + imageSize)};
}

}
