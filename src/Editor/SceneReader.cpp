#include "Editor/SceneReader.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "Base/Log.h"
#include "Base/Path.h"

extern char** environ;

namespace ZandelleEngine {

namespace {

constexpr std::string_view ReaderName = "zandelle-scene-reader";

/* Kills and reaps the child unless it was reaped already */
struct Child {
    pid_t pid = -1;
    int status = 0;

    /** Waits for the child; false when waiting failed */
    bool reap() {
        while(::waitpid(pid, &status, 0) < 0)
            if(errno != EINTR) return false;
        pid = -1;
        return true;
    }
    ~Child() {
        if(pid <= 0) return;
        ::kill(pid, SIGKILL);
        reap();
    }
};

struct Fd {
    int fd = -1;
    ~Fd() { if(fd >= 0) ::close(fd); }
};

}

std::string defaultSceneReaderPath() { return Path::helperProgram(ReaderName); }

std::unique_ptr<Assimp::Importer> readSceneIsolated(const std::string& reader, const std::string& path, unsigned flags,
    const SceneReaderLimits& limits) {
    if(reader.empty()) {
        Warning{} << "SceneLoader::loadScene(): no" << ReaderName << "beside the library, scene files cannot be read";
        return nullptr;
    }
    int fds[2];
    if(::pipe2(fds, O_CLOEXEC) != 0) return nullptr;
    Fd output{fds[0]}, input{fds[1]};

    const std::string flagsText = std::to_string(flags), memoryText = std::to_string(limits.memory);
    char* argv[]{const_cast<char*>(reader.c_str()), const_cast<char*>(path.c_str()),
        const_cast<char*>(flagsText.c_str()), const_cast<char*>(memoryText.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, input.fd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child child;
    const int spawned = ::posix_spawn(&child.pid, reader.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if(spawned != 0) {
        child.pid = -1;
        Warning{} << "SceneLoader::loadScene(): cannot run" << reader << Debug::nospace << ":" << std::strerror(spawned);
        return nullptr;
    }
    ::close(input.fd);
    input.fd = -1;

    /* The dump, until the child closes its output; a child past its time or
       writing more than it may hold is killed by the guard */
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limits.time;
    std::vector<char> dump;
    char buffer[65536];
    for(;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if(left <= 0) return nullptr;
        pollfd readable{output.fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(std::min<long long>(left, 1000)));
        if(ready < 0 && errno != EINTR) return nullptr;
        if(ready <= 0) continue;
        const ssize_t n = ::read(output.fd, buffer, sizeof(buffer));
        if(n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if(n < 0) return nullptr;
        if(n == 0) break;
        if(dump.size() + std::size_t(n) > limits.memory) return nullptr;
        dump.insert(dump.end(), buffer, buffer + n);
    }
    if(!child.reap() || !WIFEXITED(child.status) || WEXITSTATUS(child.status) != 0 || dump.empty()) return nullptr;

    /* The child validated the scene before writing it. It is not validated
       again: the dump format has no morph animation channels, so an
       animation that only had those arrives empty, which validation refuses
       although the loader reads no morph channels anyway. */
    auto importer = std::make_unique<Assimp::Importer>();
    const aiScene* scene = importer->ReadFileFromMemory(dump.data(), dump.size(), 0, "assbin");
    if(!scene || !scene->mRootNode) return nullptr;
    return importer;
}

}
