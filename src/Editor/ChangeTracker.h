#pragma once
// Tracks edits of the project document: the current and the saved revision,
// and a registry of handlers per document path. The editor reports each edit
// with the JSON Pointer of the changed value; every handler registered under
// one of the pointer's components is called.
//
// An edit is either reported at once (change(): a revision of its own) or
// queued with report() and delivered with the other queued edits under one
// new revision by dispatch(); setValue() and removeValue() write through the
// document accessors and queue the edit. Handlers registered for the same
// path run in registration order.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
        /** Called around the handlers of one registered path: with @p done
            false before the first of them, true after the last */
        using Observer = std::function<void(std::string_view handlerPath, const Change& change, bool done)>;

        /** Watches @p document; drops every handler, revision -1, no pending changes */
        void reset(ProjectFile* document);

        /** Adds a handler for changes whose path has @p path as a component */
        void registerHandler(std::string_view path, FunctionChangeHandler::Function function, void* userData = nullptr);

        /** Reports an edit: a new revision, then every matching handler */
        void change(std::string_view path, const JsonValue* value);

        /** Queues an edit of the watched document at @p path */
        void report(std::string_view path);
        /** Delivers the queued edits, in the order they were reported, under
            one new revision; each handler gets the value the document holds
            at the path then (null when it is gone). No revision is used when
            nothing is queued. */
        void dispatch();
        const std::vector<std::string>& pendingChanges() const { return _pendingChanges; }

        /** Reads the JSON @p text of a value for setValue() as a project file
            is read (nesting limited to Json::MaxDepth), and requires valid
            UTF-8, which every other JSON reader of the saved file needs.
            Empty on success, otherwise why not. */
        static std::optional<std::string> parseValue(std::string_view text, JsonDocument& value);

        /** Why @p value cannot be written at @p pointer, or with no
            @p value, why the member there cannot be removed; empty when it
            can. An edit must name a record of a section ("/objects/id"), a
            member below one, or a setting below a group ("/settings/group"
            and deeper); a removed member must be in the document. A value
            may not replace an object or array with a value of another kind,
            nest deeper than a project file may (Json::MaxDepth, counted
            from the document's root), or give an object a parent that is
            no object or that makes it its own ancestor. The reason is one
            line that starts with the pointer. */
        std::optional<std::string> refusal(std::string_view pointer, const JsonValue* value) const;
        bool canEdit(std::string_view pointer, const JsonValue* value) const { return !refusal(pointer, value); }
        /** Writes a copy of @p value at @p pointer (creating missing parent
            objects) and queues the edit; false, with nothing changed, when
            refusal() gives a reason */
        bool setValue(std::string_view pointer, const JsonValue& value);
        /** Removes the member at @p pointer and queues the edit; false, with
            nothing changed, when refusal() gives a reason */
        bool removeValue(std::string_view pointer);

        /** Sees every handler call; none by default */
        void setObserver(Observer observer) { _observer = std::move(observer); }

        /** The current revision becomes the saved one */
        void markSaved() { _savedRevision = _currentRevision; }
        bool hasUnsavedChanges() const { return _savedRevision != _currentRevision; }

        std::int32_t currentRevision() const { return _currentRevision; }
        std::int32_t savedRevision() const { return _savedRevision; }
        ProjectFile* document() const { return _document; }
        /** Paths with handlers, sorted */
        std::vector<std::string> registeredPaths() const;
        std::size_t handlerCount(std::string_view path) const;
        std::size_t registryCapacity() const { return _registry.capacity(); }

    private:
        void deliver(std::string_view path, const JsonValue* value);

        ProjectFile* _document = nullptr;
        std::int32_t _currentRevision = -1;
        std::int32_t _savedRevision = -1;
        StaticMap<std::vector<std::unique_ptr<ChangeHandler>>> _registry;
        std::vector<std::string> _pendingChanges;
        Observer _observer;
};

}
