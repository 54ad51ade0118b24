#pragma once
// Tracks edits of the project document: the current and the saved revision,
// and a registry of handlers per document path. The editor reports each edit
// with the JSON Pointer of the changed value; every handler registered under
// one of the pointer's components is called.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/StaticMap.h"
#include "Editor/Json.h"

namespace ZandelleEngine {

class ProjectFile;

/** One document edit as handlers see it */
struct Change {
    /** The new value; null when the value was removed */
    const JsonValue* value;
    /** "/section/id/key/..." */
    std::string_view path;
    std::int32_t revision;
};

class ZANDELLE_EXPORT ChangeHandler {
    public:
        virtual ~ChangeHandler() = default;
        virtual void handle(const Change& change) = 0;
};

class ZANDELLE_EXPORT FunctionChangeHandler: public ChangeHandler {
    public:
        using Function = std::function<void(const Change& change, void* userData)>;
        FunctionChangeHandler(Function function, void* userData): _function{std::move(function)}, _userData{userData} {}
        void handle(const Change& change) override { _function(change, _userData); }
    private:
        Function _function;
        void* _userData;
};

class ZANDELLE_EXPORT ChangeTracker {
    public:
        /** Watches @p document; drops every handler, revision -1, no pending changes */
        void reset(ProjectFile* document);

        /** Adds a handler for changes whose path has @p path as a component */
        void registerHandler(std::string_view path, FunctionChangeHandler::Function function, void* userData = nullptr);

        /** Reports an edit: a new revision, then every matching handler */
        void change(std::string_view path, const JsonValue* value);

        /** The current revision becomes the saved one */
        void markSaved() { _savedRevision = _currentRevision; }
        bool hasUnsavedChanges() const { return _savedRevision != _currentRevision; }

        std::int32_t currentRevision() const { return _currentRevision; }
        std::int32_t savedRevision() const { return _savedRevision; }
        ProjectFile* document() const { return _document; }
        /** Paths with handlers, sorted */
        std::vector<std::string> registeredPaths() const;
        std::size_t handlerCount(std::string_view path) const;

    private:
        ProjectFile* _document = nullptr;
        std::int32_t _currentRevision = -1;
        std::int32_t _savedRevision = -1;
        StaticMap<std::vector<std::unique_ptr<ChangeHandler>>> _registry;
        std::vector<std::string> _pendingChanges;
};

}
