#include "Editor/FileWatch.h"

#include <algorithm>
#include <cstdlib>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "Base/Path.h"

namespace ZandelleEngine {

namespace {
constexpr std::uint32_t WatchMask = IN_MODIFY|IN_CLOSE_WRITE|IN_CREATE|IN_DELETE|IN_MOVED_FROM|IN_MOVED_TO|IN_ATTRIB|IN_DELETE_SELF|IN_MOVE_SELF;
/* New contents under a name: written in place (also a file created anew
   and written), or another file renamed over it */
constexpr std::uint32_t ModifiedMask = IN_MODIFY|IN_CLOSE_WRITE|IN_MOVED_TO;
}

FileWatch::FileWatch(): _fd{inotify_init1(IN_NONBLOCK|IN_CLOEXEC)} {}

FileWatch::~FileWatch() {
    if(_fd >= 0) ::close(_fd);
}

bool FileWatch::addDescriptor(int id, Watch& w, const std::string& directory, const std::string& name) {
    const int wd = inotify_add_watch(_fd, directory.c_str(), WatchMask);
    if(wd < 0) return false;
    if(std::find(w.descriptors.begin(), w.descriptors.end(), wd) == w.descriptors.end()) w.descriptors.push_back(wd);
    _descriptors[wd].push_back(Use{id, directory, name});
    return true;
}

void FileWatch::addDescriptors(int id, Watch& w, const std::string& path) {
    if(!addDescriptor(id, w, path, {}) || !w.recursive) return;
    if(auto entries = Path::list(path)) for(const std::string& e: *entries) {
        const std::string child = Path::join(path, e);
        if(Path::isDirectory(child)) addDescriptors(id, w, child);
    }
}

int FileWatch::watch(std::string_view path, Callback callback, bool recursive, Events events) {
    std::lock_guard<std::mutex> lock{_mutex};
    if(_fd < 0 || !Path::exists(path)) return -1;
    const int id = _nextId++;
    Watch& w = _watches[id];
    w.path = Path::fromNativeSeparators(path);
    w.callback = std::move(callback);
    w.recursive = recursive;
    w.events = events;
    if(Path::isDirectory(w.path)) addDescriptors(id, w, w.path);
    else {
        const std::string absolute = Path::absolute(w.path);
        const auto [directory, name] = Path::split(absolute);
        addDescriptor(id, w, directory, name);
        /* The file a link names can be edited through its own name */
        if(char* target = ::realpath(absolute.c_str(), nullptr)) {
            if(absolute != target) {
                const auto [targetDirectory, targetName] = Path::split(target);
                addDescriptor(id, w, targetDirectory, targetName);
            }
            std::free(target);
        }
    }
    if(w.descriptors.empty()) {
        _watches.erase(id);
        return -1;
    }
    return id;
}

bool FileWatch::remove(int id) {
    std::lock_guard<std::mutex> lock{_mutex};
    auto found = _watches.find(id);
    if(found == _watches.end()) return false;
    for(int wd: found->second.descriptors) {
        auto& users = _descriptors[wd];
        std::erase_if(users, [&](const Use& u) { return u.id == id; });
        if(users.empty()) {
            _descriptors.erase(wd);
            inotify_rm_watch(_fd, wd);
        }
    }
    _watches.erase(found);
    return true;
}

std::size_t FileWatch::watchCount() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _watches.size();
}

std::size_t FileWatch::poll(ZandelleEditor& editor) {
    if(_fd < 0) return 0;
    /* Collect first, call after: a callback may add or remove watches. One
       call per watch and path within one poll. */
    struct Call { int id; std::string path; Callback callback; };
    std::vector<Call> calls;
    {
        std::lock_guard<std::mutex> lock{_mutex};
        alignas(inotify_event) char buffer[16384];
        for(;;) {
            const ssize_t n = ::read(_fd, buffer, sizeof(buffer));
            if(n <= 0) break;
            for(ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += ssize_t(sizeof(inotify_event) + event->len);
                auto users = _descriptors.find(event->wd);
                if(users == _descriptors.end()) continue;
                const std::vector<Use> uses = users->second;
                for(const Use& use: uses) {
                    const int id = use.id;
                    auto w = _watches.find(id);
                    if(w == _watches.end()) continue;
                    std::string changed;
                    if(!use.name.empty()) {
                        /* A file watch hears only of its own name, and
                           reports the path it was asked to watch */
                        if(!event->len || use.name != event->name) continue;
                        changed = w->second.path;
                    } else {
                        changed = event->len ? Path::join(use.directory, event->name) : use.directory;
                        if((event->mask & IN_CREATE) && (event->mask & IN_ISDIR) && w->second.recursive)
                            addDescriptors(id, w->second, changed);
                    }
                    if(w->second.events == Events::Modified && !(event->mask & ModifiedMask)) continue;
                    const bool seen = std::any_of(calls.begin(), calls.end(),
                        [&](const Call& c) { return c.id == id && c.path == changed; });
                    if(!seen) calls.push_back(Call{id, changed, w->second.callback});
                }
            }
        }
    }
    for(Call& c: calls) if(c.callback) c.callback(editor, c.path);
    return calls.size();
}

std::size_t FileWatch::waitAndPoll(ZandelleEditor& editor, int milliseconds) {
    if(_fd < 0) return 0;
    pollfd p{_fd, POLLIN, 0};
    ::poll(&p, 1, milliseconds);
    return poll(editor);
}

}
