#include "Support/TempDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace ZandelleEngine { namespace Testing {

TempDirectory::TempDirectory() {
    _path = (std::filesystem::temp_directory_path() / "zandelle-test-XXXXXX").string();
    if(!::mkdtemp(_path.data())) throw std::runtime_error{"mkdtemp failed"};
}

TempDirectory::~TempDirectory() {
    std::error_code ec;
    /* Tests may leave read-only directories behind */
    for(auto it = std::filesystem::recursive_directory_iterator{_path, ec};
        it != std::filesystem::recursive_directory_iterator{}; it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
            std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(_path, ec);
}

std::string TempDirectory::operator/(std::string_view relative) const {
    return _path + "/" + std::string{relative};
}

std::string TempDirectory::write(std::string_view relative, std::string_view contents) const {
    const std::string full = *this / relative;
    std::filesystem::create_directories(std::filesystem::path{full}.parent_path());
    std::ofstream out{full, std::ios::binary};
    out.write(contents.data(), std::streamsize(contents.size()));
    return full;
}

ScopedAppData::ScopedAppData(const std::string& path) {
    if(const char* previous = std::getenv("APPDATA")) _previous = previous;
    ::setenv("APPDATA", path.c_str(), 1);
}

ScopedAppData::~ScopedAppData() {
    if(_previous) ::setenv("APPDATA", _previous->c_str(), 1);
    else ::unsetenv("APPDATA");
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& path):
    _previous{std::filesystem::current_path().string()}
{
    std::filesystem::current_path(path);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    std::error_code ec;
    std::filesystem::current_path(_previous, ec);
}

}}
