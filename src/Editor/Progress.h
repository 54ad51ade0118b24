#pragma once
// A titled entry in the editor's list of long-running work ("Npm install",
// "Compressing textures", ...): a step total, the steps done, a text and an
// atomic reference count. A job that works for the record holds a reference
// (ProgressReference) while it runs; destroying a record that is still
// referenced is a programming error.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT Progress {
    public:
        explicit Progress(std::string title, std::uint32_t total = 0): total{total}, _title{std::move(title)} {}
        ~Progress();
        Progress(const Progress&) = delete;
        Progress& operator=(const Progress&) = delete;

        const std::string& title() const { return _title; }

        std::string text() const;
        void setText(std::string text);

        std::atomic<std::uint32_t> total;
        std::atomic<std::uint32_t> done{0};
        std::atomic<std::int32_t> references{0};

    private:
        std::string _title;
        mutable std::mutex _textMutex;
        std::string _text;
};

/** Holds a reference on a progress record for its lifetime */
class ProgressReference {
    public:
        explicit ProgressReference(Progress& progress): _progress{&progress} { ++_progress->references; }
        ~ProgressReference() { if(_progress) --_progress->references; }
        ProgressReference(ProgressReference&& other) noexcept: _progress{other._progress} { other._progress = nullptr; }
        ProgressReference(const ProgressReference&) = delete;
        ProgressReference& operator=(const ProgressReference&) = delete;
        Progress& operator*() const { return *_progress; }
        Progress* operator->() const { return _progress; }
    private:
        Progress* _progress;
};

}
