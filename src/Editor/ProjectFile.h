#pragma once
// The project document: one JSON object of resource sections ("objects",
// "meshes", ...) and "settings".
//
// Values are addressed by JSON Pointer paths (JsonPointer.h), with or
// without the leading "/"; member() takes one member name as it is. A record member that the record itself does not hold falls
// back to the record's original (what the importer produced for the record's
// link) and then to the defaults document. Two predicates tell these apart:
// isSetInProject() (the document holds it) and hasValue() (the document, the
// original or the defaults hold it). Writes always go into the document and
// create missing parent objects.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Base/Export.h"
#include "Editor/FileLink.h"
#include "Editor/Json.h"

namespace ZandelleEngine {

class ProjectFile;
class ValueAccess;
class OriginalAccess;

using ValueAccessRange = std::vector<ValueAccess>;

/** Object id schemes, index stored in ProjectFile::idScheme() */
enum class IdScheme: int {
    IncrementalNumber = 0,  /**< "incremental-number" */
    Uuid = 1                /**< "uuid" */
};

/** Names of the id schemes, indexed by IdScheme */
ZANDELLE_EXPORT extern const char* const IdSchemeNames[2];

/** The scheme named @p name; IncrementalNumber for any unknown name. */
ZANDELLE_EXPORT IdScheme idSchemeFromName(std::string_view name);

/** Base of all views into the document: a JSON Pointer into one of three
    trees (the project document, an original, the defaults). */
class ZANDELLE_EXPORT RecordAccess {
    public:
        enum class Tree: std::uint8_t { Project, Original };

        virtual ~RecordAccess() = default;

        /** Last member name of the path ("" for the root) */
        std::string key() const;
        /** JSON Pointer of the value in its tree ("" for the root; see
            JsonPointer.h) */
        const std::string& path() const { return _path; }

        /** The value as read: the tree's own value, else (project records)
            the original's, else the defaults'. Null when none holds it. */
        virtual const JsonValue* readValue() const;
        /** The value in the tree itself, created with its missing parents */
        virtual JsonValue& writeValue();
        virtual bool hasValue() const { return readValue() != nullptr; }
        /** The tree itself holds the value (no fall-back) */
        bool isSetInProject() const;

        /** Removes the member from its parent object (or the element from its
            parent array) in the tree itself; false when it was not there. */
        bool remove();
        /** Member names in document order (of the value as read) */
        std::vector<std::string> keys() const;

        JsonAllocator& allocator();

        /** An object's transform from its translation, rotation and scaling */
        Matrix4 asTransform() const;
        /** Decomposes @p transform into translation, rotation and scaling */
        void setTransform(const Matrix4& transform);

        ProjectFile& file() const { return *_file; }

    protected:
        RecordAccess(ProjectFile* file, std::string path, Tree tree, FileLink originalLink = {}, std::string originalSection = {}):
            _file{file}, _path{std::move(path)}, _tree{tree}, _originalLink{std::move(originalLink)}, _originalSection{std::move(originalSection)} {}

        /* The tree's own value at the path, no fall-back */
        const JsonValue* ownValue() const;
        JsonValue* treeRoot() const;

        ProjectFile* _file;
        std::string _path;
        Tree _tree;
        FileLink _originalLink;
        std::string _originalSection;
};

/** A value, record, section or setting of the document */
class ZANDELLE_EXPORT ValueAccess: public RecordAccess, public JsonAccessors<ValueAccess> {
    public:
        ValueAccess(ProjectFile* file, std::string path, Tree tree = Tree::Project, FileLink originalLink = {}, std::string originalSection = {}):
            RecordAccess{file, std::move(path), tree, std::move(originalLink), std::move(originalSection)} {}

        using RecordAccess::readValue;
        using RecordAccess::writeValue;
        using RecordAccess::allocator;
        using JsonAccessors<ValueAccess>::size;

        /** The value at a JSON Pointer path below this value (see
            JsonPointer.h: "~1" in a token is "/", "~0" is "~"). A record key
            goes through member() or JsonPointer::escape(). */
        ValueAccess operator[](std::string_view path) const;
        ValueAccess operator[](const char* path) const { return (*this)[std::string_view{path}]; }
        ValueAccess operator[](const std::string& path) const { return (*this)[std::string_view{path}]; }
        /** The member called @p name, one name whatever it holds ("/", "~") */
        ValueAccess member(std::string_view name) const;
        /** The array element at @p index */
        ValueAccess operator[](std::size_t index) const;
        ValueAccess operator[](int index) const { return (*this)[std::size_t(index)]; }

        /** The record's "link" as a FileLink (empty when there is none) */
        FileLink fileLink() const;

        /** Members of an object (in document order) or elements of an array */
        ValueAccessRange range() const;
        /** The member @p key alone, or nothing when this value has no such member */
        ValueAccessRange rangeForKey(std::string_view key) const;

        /** Iteration over the members of an object, in document order */
        class ZANDELLE_EXPORT Iterator {
            public:
                Iterator(const ValueAccess* parent, std::shared_ptr<const std::vector<std::string>> keys, std::size_t index):
                    _parent{parent}, _keys{std::move(keys)}, _index{index} {}
                ValueAccess operator*() const;
                Iterator& operator++() { ++_index; return *this; }
                bool operator==(const Iterator& other) const { return _index == other._index; }
                bool operator!=(const Iterator& other) const { return _index != other._index; }
            private:
                const ValueAccess* _parent;
                std::shared_ptr<const std::vector<std::string>> _keys;
                std::size_t _index;
        };
        Iterator begin() const;
        Iterator end() const;

    private:
        mutable std::shared_ptr<const std::vector<std::string>> _iterationKeys;
};

/** The record of a resource as its importer produced it, kept per link and
    never written to the project file */
class ZANDELLE_EXPORT OriginalAccess: public ValueAccess {
    public:
        OriginalAccess(ProjectFile* file, std::string section, FileLink link):
            ValueAccess{file, {}, Tree::Original, std::move(link), std::move(section)} {}
        bool exists() const;
};

/** One resource section: records keyed by resource id */
class ZANDELLE_EXPORT ProjectSection: public ValueAccess {
    public:
        ProjectSection(ProjectFile* file, std::string name);

        const std::string& name() const { return _name; }

        using ValueAccess::operator[];

        /** A new record under a fresh id of the project's id scheme; returns
            the id */
        std::string addResource();
        std::string addResource(const FileLink& link);
        /** A new record under @p key with its link set; returns @p key */
        std::string addResource(const FileLink& link, std::string_view key);

        /** Key of the first record whose @p nameKey member equals @p name, "" when none */
        std::string resourceByName(std::string_view name, std::string_view nameKey = "name") const;
        /** Key of the first record linked to @p link, "" when none */
        std::string firstResourceWithLink(const FileLink& link) const;
        std::vector<std::string> resourcesWithLink(const FileLink& link) const;

        /** Creates (or empties) the original record of @p link */
        OriginalAccess addOriginal(const FileLink& link);
        /** The original record of @p link; `exists()` is false when there is none */
        OriginalAccess getOriginal(const FileLink& link) const;
        OriginalAccess getOrAddOriginal(const FileLink& link);

    private:
        std::string _name;
};

/** The parsed project document with its sections, originals and defaults */
class ZANDELLE_EXPORT ProjectFile: public ValueAccess {
    public:
        /** Names of the resource sections, in the order the sections are kept */
        static const std::vector<std::string>& sectionNames();

        /** An empty project: every section empty, settings empty */
        ProjectFile();
        ProjectFile(const ProjectFile&) = delete;
        ProjectFile& operator=(const ProjectFile&) = delete;
        ~ProjectFile() override;

        /** Parses project file text. False on malformed JSON or when the
            root, a section or "settings" has the wrong kind: the reason goes
            to @p reason when given, else to one Error line. Originals are
            kept. With @p spans, lists where each record and settings group
            lies in @p text (see Json::parse()). */
        bool parse(std::string_view text, std::string* reason = nullptr, std::vector<Json::MemberSpan>* spans = nullptr);

        /** The document for raw changes. A raw change may move records, so
            the record lookup tables start over. */
        JsonDocument& projectFile() { invalidateLookups(); return _document; }
        const JsonDocument& projectFile() const { return _document; }
        /** The defaults document of this project: a copy of the editor's
            defaults that loading steps may extend (the default material
            pipeline, default material parameters) */
        const JsonDocument& defaults() const { return _defaults; }
        JsonDocument& defaults() { return _defaults; }
        JsonAllocator& allocator() { return _document.GetAllocator(); }

        ProjectSection& objects() { return section(0); }
        ProjectSection& meshes() { return section(1); }
        ProjectSection& images() { return section(2); }
        ProjectSection& textures() { return section(3); }
        ProjectSection& shaders() { return section(4); }
        ProjectSection& pipelines() { return section(5); }
        ProjectSection& materials() { return section(6); }
        ProjectSection& animations() { return section(7); }
        ProjectSection& skins() { return section(8); }
        ProjectSection& fonts() { return section(9); }
        ProjectSection& languages() { return section(10); }
        ProjectSection& files() { return section(11); }
        /** The section called @p name, null for an unknown name */
        ProjectSection* section(std::string_view name);

        IdScheme idScheme() const { return _idScheme; }
        void setIdScheme(IdScheme scheme) { _idScheme = scheme; }

        /** A fresh record id for @p section in the current scheme */
        std::string generateId(std::string_view section);

        /** The document as the project file's text. Empty, with one Error
            line, when parse() would refuse that text (nesting too deep, a
            section of the wrong kind) or it cannot be written (NaN), so
            that no saved project fails to open again. */
        std::optional<std::string> toString() const;

        /* Originals: storage for OriginalAccess */
        JsonValue* findOriginal(std::string_view section, const FileLink& link);
        const JsonValue* findOriginal(std::string_view section, const FileLink& link) const {
            return const_cast<ProjectFile*>(this)->findOriginal(section, link);
        }
        JsonValue& addOriginalValue(std::string_view section, const FileLink& link);
        JsonAllocator& originalsAllocator() { return _originalsAllocator; }

        /** The member @p name of @p object; constant time for large objects
            (the records of a section), through a table kept per object */
        const JsonValue* findMember(const JsonValue& object, std::string_view name) const;
        /** Forgets every lookup table; needed after raw changes that remove
            or rename members */
        void invalidateLookups();

    private:
        friend class RecordAccess;
        struct LookupTables;

        JsonDocument& document() { return _document; }
        ProjectSection& section(std::size_t index) { return *_sections[index]; }

        JsonDocument _document;
        JsonDocument _defaults;
        JsonAllocator _originalsAllocator;
        std::unordered_map<std::string, std::unordered_map<FileLink, JsonValue, FileLinkHash>> _originals;
        std::vector<std::unique_ptr<ProjectSection>> _sections;
        std::unordered_map<std::string, std::uint64_t> _nextIds;
        IdScheme _idScheme = IdScheme::IncrementalNumber;
        std::unique_ptr<LookupTables> _lookups;
};

}
