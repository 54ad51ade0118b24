#include "Editor/ProjectFile.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <random>

#include <fmt/format.h>
#include <rapidjson/error/en.h>

#include "Base/Assert.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/JsonPointer.h"
#include "Editor/ProjectDefaults.h"
#include "Editor/RecordView.h"

namespace ZandelleEngine {

const char* const IdSchemeNames[2]{"incremental-number", "uuid"};

IdScheme idSchemeFromName(std::string_view name) {
    return name == IdSchemeNames[1] ? IdScheme::Uuid : IdScheme::IncrementalNumber;
}

namespace {

/* With @p records, the second token (a record of a section) is looked up
   through the document's tables instead of a linear search */
const JsonValue* walk(const JsonValue* root, std::string_view path, const ProjectFile* records = nullptr) {
    if(!records) return JsonPointer::find(root, path);
    const JsonValue* v = root;
    std::size_t depth = 0;
    std::string_view token;
    std::string storage;
    while(v && JsonPointer::nextToken(path, token)) {
        if(depth++ == 1 && v->IsObject()) v = records->findMember(*v, JsonPointer::unescape(token, storage));
        else v = JsonPointer::child(v, token);
    }
    return v;
}

/* The value at @p path, created with its missing parents. A scalar in the
   way of a deeper path is replaced by an object. */
JsonValue& create(JsonValue& root, std::string_view path, JsonAllocator& allocator, const ProjectFile* records = nullptr) {
    JsonValue* v = &root;
    std::size_t depth = 0;
    std::string_view token;
    std::string storage;
    while(JsonPointer::nextToken(path, token)) {
        const bool recordLevel = depth++ == 1 && records;
        std::size_t index;
        if(v->IsArray() && JsonPointer::parseIndex(token, index)) {
            while(v->Size() <= index) v->PushBack(JsonValue{}, allocator);
            v = &(*v)[rapidjson::SizeType(index)];
            continue;
        }
        if(!v->IsObject()) v->SetObject();
        const std::string_view name = JsonPointer::unescape(token, storage);
        /* Records are found through the document's lookup tables */
        if(!recordLevel) v = Json::findOrAddMember(*v, name, allocator);
        else if(const JsonValue* existing = records->findMember(*v, name)) v = const_cast<JsonValue*>(existing);
        else v = &Json::addMember(*v, name, allocator);
    }
    return *v;
}

bool linkEquals(const JsonValue& record, const FileLink& link) {
    if(!record.IsObject()) return false;
    auto l = record.FindMember("link");
    if(l == record.MemberEnd() || !l->value.IsObject()) return false;
    const JsonValue* file = JsonPointer::member(&l->value, "file");
    const JsonValue* name = JsonPointer::member(&l->value, "name");
    return file && file->IsString() && name && name->IsString() &&
        Path::equalSeparatorsIgnored(Json::asString(file), link.file) && Json::asString(name) == link.name;
}

}

/* RecordAccess */

std::string RecordAccess::key() const {
    const std::size_t slash = _path.rfind('/');
    if(slash == std::string::npos) return {};
    return JsonPointer::unescape(std::string_view{_path}.substr(slash + 1));
}

JsonValue* RecordAccess::treeRoot() const {
    if(_tree == Tree::Original) return _file->findOriginal(_originalSection, _originalLink);
    return &_file->document();
}

const JsonValue* RecordAccess::ownValue() const {
    return walk(treeRoot(), _path, _tree == Tree::Project ? _file : nullptr);
}

const JsonValue* RecordAccess::readValue() const {
    if(_tree != Tree::Project) return ownValue();

    /* The section (or settings), the record, and the path below it */
    std::string_view rest = _path, sectionToken, recordToken;
    if(!JsonPointer::nextToken(rest, sectionToken)) return &_file->document();
    std::string storage;
    const std::string_view sectionName = JsonPointer::unescape(sectionToken, storage);
    const JsonValue* section = JsonPointer::member(&_file->document(), sectionName);
    if(sectionName == "settings") {
        if(const JsonValue* own = JsonPointer::find(section, rest)) return own;
        return JsonPointer::find(JsonPointer::member(&_file->defaults(), "settings"), rest);
    }
    if(!JsonPointer::nextToken(rest, recordToken)) return section;
    std::string recordStorage;
    const JsonValue* record = section && section->IsObject() ?
        _file->findMember(*section, JsonPointer::unescape(recordToken, recordStorage)) :
        JsonPointer::child(section, recordToken);
    /* Below a record: the record must exist; its original, then the
       section's defaults answer */
    if(rest.empty()) return record;
    if(!record || !record->IsObject()) return JsonPointer::find(record, rest);
    const std::string sectionKey{sectionName};
    return RecordView{*_file, sectionKey, record}.find(rest);
}

JsonValue& RecordAccess::writeValue() {
    if(_tree == Tree::Original) {
        JsonValue& root = _file->addOriginalValue(_originalSection, _originalLink);
        return create(root, _path, _file->originalsAllocator());
    }
    /* A raw section or the root may be changed in any way */
    if(JsonPointer::tokenCount(_path) <= 1) _file->invalidateLookups();
    return create(_file->document(), _path, _file->allocator(), _file);
}

JsonAllocator& RecordAccess::allocator() {
    return _tree == Tree::Original ? _file->originalsAllocator() : _file->allocator();
}

bool RecordAccess::isSetInProject() const { return ownValue() != nullptr; }

bool RecordAccess::remove() {
    const std::size_t slash = _path.rfind('/');
    if(slash == std::string::npos) return false;
    JsonValue* parent = const_cast<JsonValue*>(walk(treeRoot(), std::string_view{_path}.substr(0, slash)));
    if(!parent) return false;
    const std::string_view token = std::string_view{_path}.substr(slash + 1);
    if(parent->IsObject()) {
        const std::string name = JsonPointer::unescape(token);
        auto found = parent->FindMember(JsonValue{rapidjson::StringRef(name.data(), rapidjson::SizeType(name.size()))});
        if(found == parent->MemberEnd()) return false;
        parent->EraseMember(found);  /* keeps the order of the others */
        /* Records after it moved */
        if(_tree == Tree::Project && JsonPointer::tokenCount(_path) <= 2) _file->invalidateLookups();
        return true;
    }
    std::size_t index;
    if(parent->IsArray() && JsonPointer::parseIndex(token, index) && index < parent->Size()) {
        parent->Erase(parent->Begin() + index);
        return true;
    }
    return false;
}

std::vector<std::string> RecordAccess::keys() const {
    std::vector<std::string> out;
    const JsonValue* v = readValue();
    if(!v || !v->IsObject()) return out;
    for(const auto& m: v->GetObject()) out.emplace_back(m.name.GetString(), m.name.GetStringLength());
    return out;
}

Matrix4 RecordAccess::asTransform() const {
    const ValueAccess self{_file, _path, _tree, _originalLink, _originalSection};
    const Vector3 t = self["translation"].asVector3();
    const Quaternion r = self["rotation"].hasValue() ? self["rotation"].asQuaternion() : Quaternion{1.0f, 0.0f, 0.0f, 0.0f};
    const Vector3 s = self["scaling"].hasValue() ? self["scaling"].asVector3() : Vector3{1.0f};
    return glm::translate(Matrix4{1.0f}, t)*glm::mat4_cast(r)*glm::scale(Matrix4{1.0f}, s);
}

void RecordAccess::setTransform(const Matrix4& m) {
    ValueAccess self{_file, _path, _tree, _originalLink, _originalSection};
    Vector3 columns[3]{Vector3{m[0]}, Vector3{m[1]}, Vector3{m[2]}};
    Vector3 scaling{glm::length(columns[0]), glm::length(columns[1]), glm::length(columns[2])};
    /* A mirroring transform keeps a proper rotation and a negative X scale */
    if(glm::determinant(Matrix3{columns[0], columns[1], columns[2]}) < 0.0f) scaling.x = -scaling.x;
    for(int i = 0; i != 3; ++i) if(scaling[i] != 0.0f) columns[i] /= scaling[i];
    const Quaternion rotation = glm::normalize(glm::quat_cast(Matrix3{columns[0], columns[1], columns[2]}));
    self["translation"].setArray(std::vector<float>{m[3][0], m[3][1], m[3][2]});
    self["rotation"].setArray(std::vector<float>{rotation.x, rotation.y, rotation.z, rotation.w});
    self["scaling"].setArray(std::vector<float>{scaling.x, scaling.y, scaling.z});
}

/* ValueAccess */

ValueAccess ValueAccess::operator[](std::string_view path) const {
    /* Tokens are kept as written (escaped); empty ones are skipped */
    std::string out = _path;
    std::string_view token;
    while(JsonPointer::nextToken(path, token)) if(!token.empty()) {
        out += '/';
        out += token;
    }
    return ValueAccess{_file, std::move(out), _tree, _originalLink, _originalSection};
}

ValueAccess ValueAccess::member(std::string_view name) const {
    std::string out = _path;
    JsonPointer::append(out, name);
    return ValueAccess{_file, std::move(out), _tree, _originalLink, _originalSection};
}

ValueAccess ValueAccess::operator[](std::size_t index) const {
    return ValueAccess{_file, _path + "/" + std::to_string(index), _tree, _originalLink, _originalSection};
}

FileLink ValueAccess::fileLink() const { return linkOfRecord(readValue()); }

ValueAccessRange ValueAccess::range() const {
    ValueAccessRange out;
    const JsonValue* v = readValue();
    if(!v) return out;
    if(v->IsObject()) {
        out.reserve(v->MemberCount());
        for(const auto& m: v->GetObject())
            out.push_back(member({m.name.GetString(), m.name.GetStringLength()}));
    } else if(v->IsArray()) {
        out.reserve(v->Size());
        for(std::size_t i = 0; i != v->Size(); ++i) out.push_back((*this)[i]);
    }
    return out;
}

ValueAccessRange ValueAccess::rangeForKey(std::string_view key) const {
    ValueAccessRange out;
    ValueAccess value = member(key);
    if(value.hasValue()) out.push_back(std::move(value));
    return out;
}

ValueAccess ValueAccess::Iterator::operator*() const {
    /* A member name is one path token, even when it holds a "/" */
    return _parent->member((*_keys)[_index]);
}

ValueAccess::Iterator ValueAccess::begin() const {
    _iterationKeys = std::make_shared<const std::vector<std::string>>(keys());
    return Iterator{this, _iterationKeys, 0};
}

ValueAccess::Iterator ValueAccess::end() const {
    if(!_iterationKeys) _iterationKeys = std::make_shared<const std::vector<std::string>>(keys());
    return Iterator{this, _iterationKeys, _iterationKeys->size()};
}

bool OriginalAccess::exists() const {
    return _file->findOriginal(_originalSection, _originalLink) != nullptr;
}

/* ProjectSection */

ProjectSection::ProjectSection(ProjectFile* file, std::string name):
    ValueAccess{file, "/" + JsonPointer::escape(name)}, _name{std::move(name)} {}

std::string ProjectSection::addResource() {
    const std::string id = _file->generateId(_name);
    JsonValue& record = member(id).writeValue();
    if(!record.IsObject()) record.SetObject();
    return id;
}

std::string ProjectSection::addResource(const FileLink& link) {
    return addResource(link, _file->generateId(_name));
}

std::string ProjectSection::addResource(const FileLink& link, std::string_view key) {
    ValueAccess record = member(key);
    JsonValue& value = record.writeValue();
    if(!value.IsObject()) value.SetObject();
    record["link/file"].setString(link.file);
    record["link/name"].setString(link.name);
    return std::string{key};
}

std::string ProjectSection::resourceByName(std::string_view name, std::string_view nameKey) const {
    const JsonValue* section = ownValue();
    if(!section || !section->IsObject()) return {};
    for(const auto& m: section->GetObject()) {
        const JsonValue* value = RecordView{*_file, _name, &m.value}.find(nameKey);
        if(value && value->IsString() && Json::asString(value) == name) return std::string{m.name.GetString(), m.name.GetStringLength()};
    }
    return {};
}

std::string ProjectSection::firstResourceWithLink(const FileLink& link) const {
    const JsonValue* section = ownValue();
    if(!section || !section->IsObject()) return {};
    for(const auto& m: section->GetObject())
        if(linkEquals(m.value, link)) return std::string{m.name.GetString(), m.name.GetStringLength()};
    return {};
}

std::vector<std::string> ProjectSection::resourcesWithLink(const FileLink& link) const {
    std::vector<std::string> out;
    const JsonValue* section = ownValue();
    if(!section || !section->IsObject()) return out;
    for(const auto& m: section->GetObject())
        if(linkEquals(m.value, link)) out.emplace_back(m.name.GetString(), m.name.GetStringLength());
    return out;
}

OriginalAccess ProjectSection::addOriginal(const FileLink& link) {
    JsonValue& value = _file->addOriginalValue(_name, link);
    value.SetObject();
    return OriginalAccess{_file, _name, link};
}

OriginalAccess ProjectSection::getOriginal(const FileLink& link) const {
    return OriginalAccess{_file, _name, link};
}

OriginalAccess ProjectSection::getOrAddOriginal(const FileLink& link) {
    _file->addOriginalValue(_name, link);
    return OriginalAccess{_file, _name, link};
}

/* ProjectFile */

const std::vector<std::string>& ProjectFile::sectionNames() {
    static const std::vector<std::string> names{"objects", "meshes", "images", "textures", "shaders",
        "pipelines", "materials", "animations", "skins", "fonts", "languages", "files"};
    return names;
}

/* Record lookup tables: per large object (a section), member name to
   position. Members are only ever appended between invalidations (removal
   and raw access invalidate), so a table catches up by indexing the tail. */
struct ProjectFile::LookupTables {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Table {
        rapidjson::SizeType count = 0;
        std::unordered_map<std::string, rapidjson::SizeType, Hash, std::equal_to<>> positions;
    };
    std::mutex mutex;
    std::unordered_map<const JsonValue*, Table> tables;
};

/* Below this many members a linear search is as fast as hashing */
constexpr rapidjson::SizeType IndexedMemberCount = 32;

const JsonValue* ProjectFile::findMember(const JsonValue& object, std::string_view name) const {
    if(!object.IsObject()) return nullptr;
    const rapidjson::SizeType count = object.MemberCount();
    if(count < IndexedMemberCount) {
        auto found = object.FindMember(JsonValue{rapidjson::StringRef(name.data(), rapidjson::SizeType(name.size()))});
        return found == object.MemberEnd() ? nullptr : &found->value;
    }
    auto nameOf = [&](rapidjson::SizeType i) {
        const auto& m = object.MemberBegin()[i];
        return std::string_view{m.name.GetString(), m.name.GetStringLength()};
    };
    std::lock_guard<std::mutex> lock{_lookups->mutex};
    LookupTables::Table& table = _lookups->tables[&object];
    for(int attempt = 0; attempt != 2; ++attempt) {
        if(table.count > count) {
            table.positions.clear();
            table.count = 0;
        }
        /* The first of two equal names wins, as in a linear search */
        if(table.count == 0) table.positions.reserve(count);
        for(rapidjson::SizeType i = table.count; i != count; ++i) table.positions.emplace(nameOf(i), i);
        table.count = count;
        auto found = table.positions.find(name);
        if(found == table.positions.end()) return nullptr;
        if(found->second < count && nameOf(found->second) == name)
            return &object.MemberBegin()[found->second].value;
        /* Changed behind the table's back: start over once */
        table.positions.clear();
        table.count = 0;
    }
    return nullptr;
}

void ProjectFile::invalidateLookups() {
    if(!_lookups) return;
    std::lock_guard<std::mutex> lock{_lookups->mutex};
    _lookups->tables.clear();
}

namespace {

/* Why parse() refuses a document of the right syntax: the kinds of the root,
   the sections and the settings */
std::optional<std::string> kindRefusal(const JsonValue& document) {
    if(!document.IsObject()) return std::string{"the document is not a JSON object"};
    for(const auto& m: document.GetObject()) {
        const std::string_view name{m.name.GetString(), m.name.GetStringLength()};
        const auto& sections = ProjectFile::sectionNames();
        const bool isSection = std::find(sections.begin(), sections.end(), name) != sections.end();
        /* Files written before 1.1.0 keep "files" as an array */
        const bool ok = name == "files" ? (m.value.IsObject() || m.value.IsArray()) :
            (isSection || name == "settings") ? m.value.IsObject() : true;
        if(!ok) return name == "settings" ? std::string{"settings are not a JSON object"} :
            "section " + std::string{name} + " is not a JSON object";
    }
    return {};
}

}

ProjectFile::ProjectFile(): ValueAccess{this, {}}, _lookups{std::make_unique<LookupTables>()} {
    _document.SetObject();
    for(const std::string& name: sectionNames()) {
        _document.AddMember(JsonValue{name.data(), rapidjson::SizeType(name.size()), _document.GetAllocator()},
            JsonValue{rapidjson::kObjectType}, _document.GetAllocator());
        _sections.push_back(std::make_unique<ProjectSection>(this, name));
    }
    _document.AddMember("settings", JsonValue{rapidjson::kObjectType}, _document.GetAllocator());
    _defaults.CopyFrom(projectDefaults(), _defaults.GetAllocator());
}

ProjectFile::~ProjectFile() = default;

bool ProjectFile::parse(std::string_view text, std::string* reason, std::vector<Json::MemberSpan>* spans) {
    /* The reason goes to the caller when it asks for it, else to the log */
    const auto fail = [reason](std::string message) {
        if(reason) *reason = std::move(message);
        else Error{} << "ProjectFile::parse():" << message;
        return false;
    };
    JsonDocument parsed;
    if(const std::optional<std::string> error = spans ? Json::parse(parsed, text, *spans) : Json::parse(parsed, text)) {
        return fail(*error);
    }
    if(std::optional<std::string> refused = kindRefusal(parsed)) return fail(std::move(*refused));
    _document.Swap(parsed);
    invalidateLookups();
    _nextIds.clear();
    return true;
}

ProjectSection* ProjectFile::section(std::string_view name) {
    for(std::size_t i = 0; i != sectionNames().size(); ++i)
        if(sectionNames()[i] == name) return _sections[i].get();
    return nullptr;
}

std::string ProjectFile::generateId(std::string_view sectionName) {
    const JsonValue* section = JsonPointer::member(&_document, sectionName);
    auto exists = [&](const std::string& id) {
        return section && findMember(*section, id) != nullptr;
    };
    if(_idScheme == IdScheme::Uuid) {
        static thread_local std::mt19937_64 generator{std::random_device{}()};
        for(;;) {
            const std::uint64_t a = generator(), b = generator();
            /* Version 4, variant 1 */
            const std::uint64_t hi = (a & 0xffffffffffff0fffull) | 0x0000000000004000ull;
            const std::uint64_t lo = (b & 0x3fffffffffffffffull) | 0x8000000000000000ull;
            const std::string id = fmt::format("{:08x}-{:04x}-{:04x}-{:04x}-{:012x}",
                std::uint32_t(hi >> 32), std::uint32_t((hi >> 16) & 0xffff), std::uint32_t(hi & 0xffff),
                std::uint32_t(lo >> 48), lo & 0xffffffffffffull);
            if(!exists(id)) return id;
        }
    }
    auto next = _nextIds.find(std::string{sectionName});
    if(next == _nextIds.end()) {
        /* First id of this section: one past the largest number in use */
        std::uint64_t largest = 0;
        if(section && section->IsObject()) for(const auto& m: section->GetObject()) {
            std::uint64_t value = 0;
            const char* begin = m.name.GetString();
            const char* end = begin + m.name.GetStringLength();
            auto result = std::from_chars(begin, end, value);
            if(result.ec == std::errc{} && result.ptr == end) largest = std::max(largest, value);
        }
        next = _nextIds.emplace(std::string{sectionName}, largest + 1).first;
    }
    for(;;) {
        const std::string id = std::to_string(next->second++);
        if(!exists(id)) return id;
    }
}

std::optional<std::string> ProjectFile::toString() const {
    std::optional<std::string> refused = kindRefusal(_document);
    if(!refused && Json::depth(_document) > Json::MaxDepth)
        refused = fmt::format("nesting deeper than {} levels", Json::MaxDepth);
    if(refused) {
        Error{} << "ProjectFile::toString(): the document would not load again:" << *refused;
        return {};
    }
    return Json::toString(_document, Json::JsonPretty|Json::JsonIndentFour|Json::JsonSingleLineArrays);
}

JsonValue* ProjectFile::findOriginal(std::string_view section, const FileLink& link) {
    auto s = _originals.find(std::string{section});
    if(s == _originals.end()) return nullptr;
    auto o = s->second.find(link);
    return o == s->second.end() ? nullptr : &o->second;
}

JsonValue& ProjectFile::addOriginalValue(std::string_view section, const FileLink& link) {
    JsonValue& value = _originals[std::string{section}][link];
    if(!value.IsObject()) value.SetObject();
    return value;
}

}
