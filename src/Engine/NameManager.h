#pragma once
// One text per object id (names, record keys, skin names), packed into one
// character buffer.
//
// A text that fits in the room of the one it replaces is written in place;
// otherwise it is appended, and the buffer is compacted when it runs out of
// room. Texts are zero-terminated in the buffer.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Engine/Id.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT NameManager {
    public:
        /** Number of ids this table has room for */
        std::uint32_t capacity() const { return std::uint32_t(_entries.size()); }
        /** Bytes of text storage */
        std::size_t textCapacity() const { return _text.capacity(); }
        /** Bytes occupied by live texts, terminating zeros included */
        std::size_t textSize() const { return _used; }

        /** Grows the table to at least @p capacity ids and @p textBytes bytes
            of text; never shrinks. */
        void reserve(std::uint32_t capacity, std::size_t textBytes);

        /** Sets the text of @p id, growing the table when @p id is beyond it */
        void set(Data::Id id, std::string_view text);
        /** The text of @p id; empty for an id that has none */
        std::string_view get(Data::Id id) const;

        /** First id whose text equals @p text, 0 when none */
        Data::Id find(std::string_view text) const;

    private:
        struct Entry {
            std::uint32_t offset = 0;
            std::uint32_t size = 0;
            /* Room at offset, terminating zero excluded */
            std::uint32_t room = 0;
        };

        void compact(std::size_t extra);

        std::vector<Entry> _entries;
        std::vector<char> _text;
        /* Bytes held by live texts (with their zeros) */
        std::size_t _used = 0;
};

}
