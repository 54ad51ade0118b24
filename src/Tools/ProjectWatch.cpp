#include "Tools/ProjectWatch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/JsonPointer.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/ShaderLoading.h"
#include "Tools/ChangeHandlers.h"
#include "Tools/Import.h"

namespace ZandelleEngine {

namespace {

std::string_view nameOf(const JsonValue& name) {
    return {name.GetString(), name.GetStringLength()};
}

/* The members of @p object by name, so that a section of many records is
   compared in one pass instead of one search per record */
std::unordered_map<std::string_view, const JsonValue*> byName(const JsonValue* object) {
    std::unordered_map<std::string_view, const JsonValue*> members;
    if(!object || !object->IsObject()) return members;
    members.reserve(object->MemberCount());
    for(const auto& member: object->GetObject()) members.emplace(nameOf(member.name), &member.value);
    return members;
}

/* Queues an edit for every member of @p disk that differs from the one of
   @p memory, and a removal for every member @p disk lacks: records of a
   section, or groups of the settings */
void diffMembers(ChangeTracker& tracker, const std::string& prefix, const JsonValue* memory, const JsonValue* disk) {
    const auto inMemory = byName(memory);
    const auto onDisk = byName(disk);
    if(disk && disk->IsObject()) for(const auto& member: disk->GetObject()) {
        const auto found = inMemory.find(nameOf(member.name));
        if(found != inMemory.end() && *found->second == member.value) continue;
        tracker.setValue(prefix + JsonPointer::escape(member.name.GetString()), member.value);
    }
    if(memory && memory->IsObject()) {
        std::vector<std::string> gone;
        for(const auto& member: memory->GetObject())
            if(!onDisk.count(nameOf(member.name))) gone.push_back(member.name.GetString());
        for(const std::string& name: gone) tracker.removeValue(prefix + JsonPointer::escape(name));
    }
}

/* How many bytes @p a and @p b share at their start and, before that, at
   their end; compared a page at a time */
std::pair<std::size_t, std::size_t> commonEnds(std::string_view a, std::string_view b) {
    constexpr std::size_t Page = 4096;
    const std::size_t shorter = std::min(a.size(), b.size());
    std::size_t prefix = 0;
    while(prefix + Page <= shorter && std::memcmp(a.data() + prefix, b.data() + prefix, Page) == 0) prefix += Page;
    while(prefix < shorter && a[prefix] == b[prefix]) ++prefix;
    const std::size_t most = shorter - prefix;
    std::size_t suffix = 0;
    while(suffix + Page <= most && std::memcmp(a.data() + a.size() - suffix - Page, b.data() + b.size() - suffix - Page, Page) == 0) suffix += Page;
    while(suffix < most && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) ++suffix;
    return {prefix, suffix};
}

/* Pieces a file is read and compared in: small enough to be compared
   while still in the processor's cache */
constexpr std::size_t Piece = 256*1024;

/* Reads pieces [@p first, @p last) of the file into @p text and marks in
   @p sameAtStart and @p sameAtEnd whether each equals the bytes of
   @p known at the same offset from the start and from the end; false when
   the file ended early */
bool readPieces(int fd, std::string& text, std::string_view known, std::size_t first, std::size_t last,
                std::vector<char>& sameAtStart, std::vector<char>& sameAtEnd) {
    const std::size_t size = text.size();
    for(std::size_t piece = first; piece != last; ++piece) {
        const std::size_t begin = piece*Piece, end = std::min(size, begin + Piece);
        for(std::size_t at = begin; at != end; ) {
            const ssize_t n = ::pread(fd, text.data() + at, end - at, off_t(at));
            if(n < 0 && errno == EINTR) continue;
            if(n <= 0) return false;
            at += std::size_t(n);
        }
        sameAtStart[piece] = end <= known.size() && std::memcmp(text.data() + begin, known.data() + begin, end - begin) == 0;
        sameAtEnd[piece] = begin + known.size() >= size &&
            std::memcmp(text.data() + begin, known.data() + begin + known.size() - size, end - begin) == 0;
    }
    return true;
}

/* Reads the file @p path into @p text, reusing its memory, and returns
   how many bytes it shares with @p known at its start and, before that,
   at its end, as commonEnds() does. A large file is read in two halves at
   once, each piece compared while it is fresh, so that a change to a big
   project file costs about one read of it. Nothing when the file cannot
   be read. */
std::optional<std::pair<std::size_t, std::size_t>> readAndCompare(const std::string& path, std::string_view known, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY|O_CLOEXEC);
    if(fd < 0) return {};
    struct stat info;
    if(::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {};
    }
    text.resize(std::size_t(info.st_size));
    const std::size_t pieces = (text.size() + Piece - 1)/Piece;
    std::vector<char> sameAtStart(pieces), sameAtEnd(pieces);
    bool whole;
    if(pieces < 8) whole = readPieces(fd, text, known, 0, pieces, sameAtStart, sameAtEnd);
    else {
        bool back = false;
        std::thread other{[&] { back = readPieces(fd, text, known, pieces/2, pieces, sameAtStart, sameAtEnd); }};
        whole = readPieces(fd, text, known, 0, pieces/2, sameAtStart, sameAtEnd);
        other.join();
        whole = whole && back;
    }
    /* A file written while it was read (shorter or longer than its size
       said) is read again as a whole */
    char more;
    whole = whole && ::pread(fd, &more, 1, off_t(text.size())) == 0;
    ::close(fd);
    if(!whole) {
        std::optional<std::string> again = Path::readString(path);
        if(!again) return {};
        text = std::move(*again);
        return commonEnds(known, text);
    }

    /* Whole pieces that are the same, then the bytes of the first piece
       that is not, from either end */
    const std::size_t shorter = std::min(known.size(), text.size());
    std::size_t prefix = std::size_t(std::find(sameAtStart.begin(), sameAtStart.end(), 0) - sameAtStart.begin())*Piece;
    prefix = std::min(prefix, shorter);
    while(prefix < shorter && known[prefix] == text[prefix]) ++prefix;
    const std::size_t most = shorter - prefix;
    std::size_t suffix = std::size_t(std::find(sameAtEnd.rbegin(), sameAtEnd.rend(), 0) - sameAtEnd.rbegin());
    suffix = suffix == 0 ? 0 : std::min(text.size() - (pieces - suffix)*Piece, most);
    while(suffix < most && known[known.size() - 1 - suffix] == text[text.size() - 1 - suffix]) ++suffix;
    return std::pair{prefix, suffix};
}

const JsonValue* memberOf(const JsonValue& object, const char* name) {
    if(!object.IsObject()) return nullptr;
    const auto found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

}

ProjectWatch::ProjectWatch(ZandelleEditor& editor, std::chrono::milliseconds debounce): _editor{editor}, _debounce{debounce} {
    ProjectData& project = editor.data().project();
    _projectFile = project.projectFilePath();
    _knownText = Path::readString(_projectFile).value_or("");
    readSpans();

    FileWatch& watch = *editor.fileWatch;
    auto add = [&](const std::string& path, bool recursive, FileWatch::Callback callback) {
        const int id = watch.watch(path, std::move(callback), recursive);
        if(id >= 0) _watchIds.push_back(id);
        return id >= 0;
    };
    const FileWatch::Callback queueIt = [this](ZandelleEditor&, const std::string& path) { queue(path); };

    std::vector<std::string> files;
    for(const ValueAccess& entry: editor.data().projectFile().files().range())
        files.push_back(project.absolutePath(entry["fileName"].asString()));
    files.push_back(_projectFile);
    for(const std::string& file: files) _fileCount += add(file, false, queueIt);

    /* The folders shader loading watches and reloads from; the reload
       itself is shader loading's, the queue only reports it */
    const FileWatch::Callback shaderChanged = [this](ZandelleEditor&, const std::string& path) {
        if(isShaderFile(path) || Path::splitExtension(path).second == ".conf") queue(path);
    };
    for(const std::string& folder: {editor.shaderDirectory, project.shadersPath()})
        if(!folder.empty() && Path::isDirectory(folder)) _folderCount += add(folder, true, shaderChanged);

    /* The re-import queue of the editor is fed by the same events */
    editor.changedFiles.clear();
}

ProjectWatch::~ProjectWatch() {
    for(int id: _watchIds) _editor.fileWatch->remove(id);
}

ProjectWatch::Counters ProjectWatch::counters() const {
    Counters c;
    if(AssetCompiler* compiler = _editor.assetCompiler) {
        for(const CompileStep& step: AssetCompiler::compileSteps())
            c.records.push_back(compiler->stepCounts[std::size_t(step.assetType)].records);
        c.tilesEncoded = compiler->tilesEncoded.load();
        c.tilesFromCache = compiler->tilesFromCache.load();
    }
    return c;
}

void ProjectWatch::queue(const std::string& path) {
    const Clock::time_point now = Clock::now();
    const auto [pending, added] = _queue.try_emplace(path);
    if(added) {
        pending->second.firstEvent = now;
        pending->second.before = _beforePoll;
    }
    pending->second.lastEvent = now;
}

bool ProjectWatch::poll(const JobWait& wait) {
    if(!wait(_editor)) return false;
    _beforePoll = counters();
    _editor.fileWatch->poll(_editor);
    _editor.changedFiles.clear();
    return true;
}

int ProjectWatch::millisecondsToNext(Clock::time_point now) const {
    if(_queue.empty()) return -1;
    Clock::time_point first = Clock::time_point::max();
    for(const auto& [path, pending]: _queue) first = std::min(first, pending.lastEvent + _debounce);
    if(first <= now) return 0;
    return int(std::chrono::ceil<std::chrono::milliseconds>(first - now).count());
}

void ProjectWatch::projectSaved() {
    _knownText = Path::readString(_projectFile).value_or(_knownText);
    readSpans();
}

void ProjectWatch::readSpans() {
    JsonDocument scratch;
    Json::parse(scratch, _knownText, _spans);
}

bool ProjectWatch::handleRecordEdit(const std::string& text, std::size_t prefix, std::size_t suffix) {
    /* The last record that starts at or before the first changed byte,
       which must also hold the last one */
    auto span = std::upper_bound(_spans.begin(), _spans.end(), prefix,
        [](std::size_t offset, const Json::MemberSpan& s) { return offset < s.begin; });
    if(span == _spans.begin()) return false;
    --span;
    const std::vector<std::string>& sections = ProjectFile::sectionNames();
    if(_knownText.size() - suffix > span->end ||
       (span->parent != "settings" && std::find(sections.begin(), sections.end(), span->parent) == sections.end()))
        return false;

    /* Everything around the record is as it was, so the file is the known
       one with this record's value replaced, if its new text is one value */
    const std::size_t end = span->end + text.size() - _knownText.size();
    JsonDocument record;
    if(Json::parse(record, std::string_view{text}.substr(span->begin, end - span->begin)) ||
       Json::depth(record) + 2 > Json::MaxDepth)
        return false;

    const std::string pointer = "/" + JsonPointer::escape(span->parent) + "/" + JsonPointer::escape(span->name);
    const JsonValue* memory = JsonPointer::find(&static_cast<const ProjectFile&>(_editor.data().projectFile()).projectFile(), pointer);
    if(!memory || *memory != record) _editor.changeTracker->setValue(pointer, record);

    /* The records after this one moved with its new length */
    for(auto later = span + 1; later != _spans.end(); ++later) {
        later->begin += text.size() - _knownText.size();
        later->end += text.size() - _knownText.size();
    }
    span->end = end;
    return true;
}

bool ProjectWatch::handleProjectFile() {
    std::string& text = _readBuffer;
    const std::optional<std::pair<std::size_t, std::size_t>> same = readAndCompare(_projectFile, _knownText, text);
    if(!same || (same->first == text.size() && text.size() == _knownText.size())) return false;

    ChangeTracker& tracker = *_editor.changeTracker;
    /* An edit of one record is read alone; anything else reads the whole
       file and compares every record with the document */
    if(!handleRecordEdit(text, same->first, same->second)) {
        ProjectFile disk;
        std::string reason;
        std::vector<Json::MemberSpan> spans;
        if(!disk.parse(text, &reason, &spans)) {
            Warning{} << "Cannot read the changed project file" << _projectFile + ":" << reason;
            return false;
        }
        const JsonDocument& memory = static_cast<const ProjectFile&>(_editor.data().projectFile()).projectFile();
        const JsonDocument& read = static_cast<const ProjectFile&>(disk).projectFile();
        for(const std::string& section: ProjectFile::sectionNames())
            diffMembers(tracker, "/" + section + "/", memberOf(memory, section.c_str()), memberOf(read, section.c_str()));
        diffMembers(tracker, "/settings/", memberOf(memory, "settings"), memberOf(read, "settings"));
        _spans = std::move(spans);
    }
    /* The text read is the known one; the old one's memory takes the next
       read */
    std::swap(_knownText, text);

    tracker.dispatch();
    compileListedObjects(_editor);
    /* The document is what the file holds again: nothing to save */
    tracker.markSaved();
    return true;
}

std::optional<WatchReport> ProjectWatch::handleNext(const JobWait& wait, Clock::time_point now) {
    auto next = std::find_if(_queue.begin(), _queue.end(),
        [&](const auto& entry) { return entry.second.lastEvent + _debounce <= now; });
    if(next == _queue.end()) return {};
    const std::string path = next->first;
    const Clock::time_point seen = next->second.lastEvent;
    /* What ran since the first event, without what an earlier handler
       already reported */
    Counters before = next->second.firstEvent > _handledAt ? std::move(next->second.before) : _afterHandled;
    _queue.erase(next);

    /* A shader reload the file watch dispatched for this or another path
       runs its compile steps on a worker: the handler starts after it, so
       that no two compiles overlap */
    if(!wait(_editor)) return {};

    WatchReport report;
    report.path = _editor.data().project().relativePath(path);

    const auto deleted = std::find(_deleted.begin(), _deleted.end(), path);
    if(!Path::exists(path)) {
        if(deleted != _deleted.end()) return {};
        _deleted.push_back(path);
        report.kind = WatchReport::Kind::Deleted;
        report.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - seen).count();
        return report;
    }
    if(deleted != _deleted.end()) _deleted.erase(deleted);

    if(path == _projectFile) {
        if(!handleProjectFile()) return {};
    } else if(isScenePath(path) || isImagePath(path) || isFontPath(path)) {
        /* Printing the document is costly in a large project: done only
           for a caller that saves after changes */
        const std::string text = compareDocument ? _editor.data().projectFile().toString().value_or("") : std::string{};
        loadFile(path, _editor, LoadMode::Reimport, false);
        report.documentChanged = compareDocument && _editor.data().projectFile().toString().value_or("") != text;
    }
    /* A shader needs nothing here: the reload shader loading dispatched
       for it was waited for above, and any of a later event is waited for
       now */
    if(!wait(_editor)) return {};

    _handledAt = Clock::now();
    _afterHandled = counters();
    const Counters& after = _afterHandled;
    const std::vector<CompileStep>& steps = AssetCompiler::compileSteps();
    for(std::size_t i = 0; i != after.records.size() && i != before.records.size(); ++i)
        if(const std::uint64_t records = after.records[i] - before.records[i])
            report.compiled.emplace_back(steps[i].name, records);
    report.tilesEncoded = after.tilesEncoded - before.tilesEncoded;
    report.tilesFromCache = after.tilesFromCache - before.tilesFromCache;
    report.milliseconds = std::chrono::duration<double, std::milli>(_handledAt - seen).count();
    return report;
}

}
