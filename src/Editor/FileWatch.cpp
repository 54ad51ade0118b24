#include "Editor/FileWatch.h"

#include <algorithm>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "Base/Path.h"

namespace ZandelleEngine {

namespace {
constexpr std::uint32_t WatchMask = IN_MODIFY|IN_CLOSE_WRITE|IN_CREATE|IN_DELETE|IN_MOVED_FROM|IN_MOVED_TO|IN_ATTRIB|IN_DELETE_SELF|IN_MOVE_SELF;
}

FileWatch::FileWatch(): _fd{inotify_init1(IN_NONBLOCK|IN_CLOEXEC)} {}

FileWatch::~FileWatch() {
    if(_fd >= 0) ::close(_fd);
}

void FileWatch::addDescriptors(int id, Watch& w, const std::string& path) {
    if(_fd < 0) return;
    const int wd = inotify_add_watch(_fd, path.c_str(), WatchMask);
    if(wd < 0) return;
    w.descriptors.push_back(wd);
    _descriptors[wd].emplace_back(id, path);
    if(!w.recursive || !Path::isDirectory(path)) return;
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
    addDescriptors(id, w, w.path);
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
        std::erase_if(users, [&](const auto& u) { return u.first == id; });
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
                const std::vector<std::pair<int, std::string>> targets = users->second;
                for(const auto& target: targets) {
                    const int id = target.first;
                    const std::string& watched = target.second;
                    auto w = _watches.find(id);
                    if(w == _watches.end()) continue;
                    const std::string changed = event->len ? Path::join(watched, event->name) : watched;
                    if((event->mask & IN_CREATE) && (event->mask & IN_ISDIR) && w->second.recursive)
                        addDescriptors(id, w->second, changed);
                    if(w->second.events == Events::Modified && !(event->mask & (IN_MODIFY|IN_CLOSE_WRITE))) continue;
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
