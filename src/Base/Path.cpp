#include "Base/Path.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ZandelleEngine { namespace Path {

namespace {

fs::path fsPath(std::string_view path) { return fs::path{std::string{path}}; }

std::string generic(const fs::path& path) { return path.generic_string(); }

}

std::string fromNativeSeparators(std::string_view path) {
    std::string out{path};
    for(char& c: out) if(c == '\\') c = '/';
    return out;
}

std::string join(std::string_view a, std::string_view b) {
    if(a.empty()) return std::string{b};
    if(b.empty()) return std::string{a};
    if(b.front() == '/') return std::string{b};
    std::string out{a};
    if(out.back() != '/') out += '/';
    out += b;
    return out;
}

std::pair<std::string, std::string> split(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if(slash == std::string_view::npos) return {std::string{}, std::string{path}};
    /* Keep the root slash of "/file" as the directory */
    return {std::string{path.substr(0, slash == 0 ? 1 : slash)}, std::string{path.substr(slash + 1)}};
}

std::string path(std::string_view p) { return split(p).first; }
std::string filename(std::string_view p) { return split(p).second; }

std::pair<std::string, std::string> splitExtension(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    /* No dot in the file name, or a leading dot only (".editor") */
    if(dot == std::string_view::npos || dot <= nameStart)
        return {std::string{path}, std::string{}};
    return {std::string{path.substr(0, dot)}, std::string{path.substr(dot)}};
}

bool exists(std::string_view path) {
    std::error_code ec;
    return fs::exists(fsPath(path), ec);
}

bool isDirectory(std::string_view path) {
    std::error_code ec;
    return fs::is_directory(fsPath(path), ec);
}

bool make(std::string_view path) {
    if(path.empty()) return true;
    std::error_code ec;
    fs::create_directories(fsPath(path), ec);
    return fs::is_directory(fsPath(path), ec);
}

bool remove(std::string_view path) {
    std::error_code ec;
    return fs::remove(fsPath(path), ec) && !ec;
}

bool move(std::string_view from, std::string_view to) {
    std::error_code ec;
    fs::rename(fsPath(from), fsPath(to), ec);
    return !ec;
}

bool copy(std::string_view from, std::string_view to) {
    std::error_code ec;
    fs::copy_file(fsPath(from), fsPath(to), fs::copy_options::overwrite_existing, ec);
    return !ec;
}

std::optional<std::vector<std::string>> list(std::string_view path) {
    std::error_code ec;
    fs::directory_iterator it{fsPath(path), ec};
    if(ec) return {};
    std::vector<std::string> out;
    for(const fs::directory_entry& e: it) out.push_back(e.path().filename().generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

namespace {

/* The whole file into a string or a byte vector, read once */
template<class Container> std::optional<Container> readInto(std::string_view path) {
    const int fd = ::open(std::string{path}.c_str(), O_RDONLY|O_CLOEXEC);
    if(fd < 0) return {};
    Container data;
    struct stat info;
    if(::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return {};
    }
    /* The size is a hint only: files in /proc report 0 */
    data.resize(std::size_t(info.st_size) + 1);
    std::size_t used = 0;
    for(;;) {
        if(used == data.size()) data.resize(data.size()*2 + 4096);
        const ssize_t n = ::read(fd, data.data() + used, data.size() - used);
        if(n < 0) {
            ::close(fd);
            return {};
        }
        if(n == 0) break;
        used += std::size_t(n);
    }
    ::close(fd);
    data.resize(used);
    return data;
}

}

std::optional<std::vector<char>> read(std::string_view path) { return readInto<std::vector<char>>(path); }

std::optional<std::string> readString(std::string_view path) { return readInto<std::string>(path); }

bool writeAtomic(std::string_view path, std::string_view data) {
    static std::atomic<unsigned> counter{0};
    const std::string target{path};
    const std::string temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(temporary.c_str(), O_WRONLY|O_CREAT|O_TRUNC|O_CLOEXEC, 0644);
    if(fd < 0) return false;
    std::size_t written = 0;
    while(written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if(n <= 0) { ::close(fd); ::unlink(temporary.c_str()); return false; }
        written += std::size_t(n);
    }
    if(::fsync(fd) != 0 || ::close(fd) != 0) { ::unlink(temporary.c_str()); return false; }
    if(std::rename(temporary.c_str(), target.c_str()) != 0) { ::unlink(temporary.c_str()); return false; }
    return true;
}

std::string absolute(std::string_view path) {
    std::error_code ec;
    fs::path p = fs::absolute(fsPath(fromNativeSeparators(path)), ec);
    if(ec) return fromNativeSeparators(path);
    return generic(p.lexically_normal());
}

std::string relativeTo(std::string_view path, std::string_view base) {
    return generic(fsPath(path).lexically_relative(fsPath(base)));
}

std::string currentDirectory() {
    std::error_code ec;
    return generic(fs::current_path(ec));
}

std::string executableLocation() {
    std::error_code ec;
    return generic(fs::read_symlink("/proc/self/exe", ec));
}

std::int64_t lastModification(std::string_view path) {
    std::error_code ec;
    auto t = fs::last_write_time(fsPath(path), ec);
    if(ec) return 0;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}}
