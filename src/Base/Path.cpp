#include "Base/Path.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
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

bool equalSeparatorsIgnored(std::string_view a, std::string_view b) {
    if(a.size() != b.size()) return false;
    for(std::size_t i = 0; i != a.size(); ++i) {
        const char x = a[i] == '\\' ? '/' : a[i], y = b[i] == '\\' ? '/' : b[i];
        if(x != y) return false;
    }
    return true;
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

bool makeOwned(std::string_view path) {
    struct stat info;
    if(::lstat(std::string{path}.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
       ::unlink(std::string{path}.c_str()) != 0) return false;
    return make(path);
}

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos;
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
    /* Written as a new file renamed over the destination: a link there,
       dangling or not, is replaced instead of written through, and a copy
       that fails leaves the old file */
    struct stat info;
    if(::stat(std::string{from}.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    const std::optional<std::vector<char>> data = read(from);
    if(!data || !writeAtomic(to, {data->data(), data->size()}, Sync::Rewritable, Links::Replace)) return false;
    std::error_code ec;
    fs::permissions(fsPath(to), fs::perms(info.st_mode & 07777), ec);
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
    const int statted = ::fstat(fd, &info);
    if(statted != 0 || S_ISDIR(info.st_mode)) {
        const int error = statted != 0 ? errno : EISDIR;
        ::close(fd);
        errno = error;
        return {};
    }
    /* The size is a hint only: files in /proc report 0 */
    data.resize(std::size_t(info.st_size) + 1);
    std::size_t used = 0;
    for(;;) {
        if(used == data.size()) data.resize(data.size()*2 + 4096);
        const ssize_t n = ::read(fd, data.data() + used, data.size() - used);
        if(n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
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

std::optional<std::string> followLinks(std::string_view pathIn) {
    std::string path{pathIn};
    for(int hops = 0; hops != 40; ++hops) {
        struct stat info;
        if(::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(4096, '\0');
        const ssize_t size = ::readlink(path.c_str(), target.data(), target.size());
        if(size <= 0 || std::size_t(size) == target.size()) return {};
        target.resize(std::size_t(size));
        path = target.front() == '/' ? target : join(split(path).first, target);
    }
    return {};
}

namespace {

/* Opens and locks the one temporary file of @p target. The name is fixed
   per target and held under an exclusive lock while it is written, so a
   file of that name that can be locked is what an interrupted save left:
   it is taken over (truncated) instead of piling up. Another process
   saving the same file at the same moment is waited for. Anything else
   under that name (a link, a FIFO someone planted) is removed first: it is
   never opened, so nothing is written through it and nothing blocks. */
int openLockedTemporary(const std::string& temporary) {
    for(int attempt = 0; attempt != 100; ++attempt) {
        struct stat planted;
        if(::lstat(temporary.c_str(), &planted) == 0 && !S_ISREG(planted.st_mode) &&
           ::unlink(temporary.c_str()) != 0) return -1;
        const int fd = ::open(temporary.c_str(), O_WRONLY|O_CREAT|O_CLOEXEC|O_NOFOLLOW|O_NONBLOCK, 0644);
        if(fd < 0 && errno == ELOOP) continue;
        if(fd < 0) return -1;
        int locked;
        while((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {}
        /* The writer that held the lock before may have renamed or removed
           the file this descriptor opened */
        struct stat opened, named;
        if(locked == 0 && ::fstat(fd, &opened) == 0 && ::lstat(temporary.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino && S_ISREG(opened.st_mode) &&
           ::ftruncate(fd, 0) == 0)
            return fd;
        ::close(fd);
        if(locked != 0) return -1;
    }
    return -1;
}

}

std::string temporaryFileFor(std::string_view path) {
    const auto [directory, name] = split(path);
    return join(directory, "." + name + ".zandelle-tmp");
}

bool writeAtomic(std::string_view path, std::string_view data, const Sync sync, const Links links) {
    /* Saving through a link replaces the file it points to; otherwise the
       rename replaces the link itself */
    const std::optional<std::string> resolved = links == Links::Follow ? followLinks(path) : std::string{path};
    if(!resolved) return false;
    const std::string& target = *resolved;
    const std::string temporary = temporaryFileFor(target);
    const int fd = openLockedTemporary(temporary);
    if(fd < 0) return false;
    const auto fail = [&]{
        ::unlink(temporary.c_str());
        ::close(fd);
        return false;
    };

    /* The new file keeps the permissions of the file it replaces (never
       those of a file a replaced link points to) */
    struct stat old;
    if(::lstat(target.c_str(), &old) == 0) {
        if(S_ISDIR(old.st_mode)) return fail();
        if(S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0) return fail();
    }
    std::size_t written = 0;
    while(written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if(n < 0 && errno == EINTR) continue;
        if(n <= 0) return fail();
        written += std::size_t(n);
    }
    if(sync == Sync::Rewritable) {
        if(std::rename(temporary.c_str(), target.c_str()) != 0) return fail();
        return ::close(fd) == 0;
    }
    if(::fsync(fd) != 0 || std::rename(temporary.c_str(), target.c_str()) != 0) return fail();
    /* The rename itself is durable only once the directory is synced */
    const std::string directory = split(target).first;
    const int directoryFd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY|O_DIRECTORY|O_CLOEXEC);
    if(directoryFd >= 0) {
        ::fsync(directoryFd);
        ::close(directoryFd);
    }
    /* Closing releases the lock only after the rename */
    return ::close(fd) == 0;
}

std::string absolute(std::string_view path) {
    std::error_code ec;
    fs::path p = fs::absolute(fsPath(fromNativeSeparators(path)), ec);
    if(ec) return fromNativeSeparators(path);
    /* "dir/." normalises to "dir/": one spelling per directory */
    std::string out = generic(p.lexically_normal());
    if(out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
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

std::string helperProgram(std::string_view name) {
    Dl_info info{};
    std::string module;
    if(::dladdr(reinterpret_cast<void*>(&helperProgram), &info) && info.dli_fname &&
       std::string_view{info.dli_fname}.find(".so") != std::string_view::npos)
        module = info.dli_fname;
    else module = executableLocation();
    if(module.empty()) return {};
    const std::string program = join(path(absolute(module)), name);
    return ::access(program.c_str(), X_OK) == 0 ? program : std::string{};
}

std::int64_t lastModification(std::string_view path) {
    std::error_code ec;
    auto t = fs::last_write_time(fsPath(path), ec);
    if(ec) return 0;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}}
