#include "Editor/Scripting.h"

namespace ZandelleEngine {

void PluginManagerJs::clear() {
    _directories.clear();
    _enabled.clear();
    _watching = false;
    _calls.push_back("clear()");
}

void PluginManagerJs::add(std::string_view directory) {
    _directories.emplace_back(directory);
    _calls.push_back("add(" + std::string{directory} + ")");
}

void PluginManagerJs::setEnabled(std::string_view name, bool enabled) {
    _enabled[std::string{name}] = enabled;
    _calls.push_back("setEnabled(" + std::string{name} + ", " + (enabled ? "true" : "false") + ")");
}

void PluginManagerJs::watch(FileWatch&) {
    _watching = true;
    _calls.push_back("watch()");
}

void JavaScripting::reset() {
    _entryPath.clear();
    _paths.clear();
    _sourceWatch = 0;
    _updates = 0;
    _calls.push_back("reset()");
}

void JavaScripting::clear() {
    _entryPath.clear();
    _paths.clear();
    _calls.push_back("clear()");
}

void JavaScripting::setRuntimeEntryPath(std::string_view path) {
    _entryPath = std::string{path};
    _calls.push_back("setRuntimeEntryPath(" + _entryPath + ")");
}

void JavaScripting::addPath(std::string_view path) {
    _paths.emplace_back(path);
    _calls.push_back("addPath(" + std::string{path} + ")");
}

void JavaScripting::startWatching(FileWatch&) {
    _sourceWatch = _nextWatch++;
    _calls.push_back("startWatching()");
}

void JavaScripting::stopWatching() {
    _sourceWatch = 0;
    _calls.push_back("stopWatching()");
}

void JavaScripting::update(bool force) {
    ++_updates;
    _calls.push_back(force ? "update(true)" : "update(false)");
}

void JavaScripting::setSceneContext(const void* sceneGraph, const void* defaults) {
    _sceneGraph = sceneGraph;
    _defaults = defaults;
}

}
