#pragma once
// The glyph data of a scene's fonts, one slot per font id. Slots are added on
// the thread that compiles fonts and filled by the font job on a worker, so
// every access takes the storage's lock; a slot's data is handed out as a
// copy.

#include <cstdint>
#include <mutex>
#include <vector>

#include "Base/Export.h"
#include "Engine/Id.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT FontStorage {
    public:
        /** A new empty slot; its id, or 0 when the id space is exhausted */
        Data::Id add();
        /** Replaces the data of slot @p id, releasing what it held; false
            for an id that has no slot */
        bool set(Data::Id id, std::vector<char> data);
        /** The data of slot @p id, empty for an id without one */
        std::vector<char> data(Data::Id id) const;
        /** Number of slots that hold data */
        std::size_t filledCount() const;
        /** Number of slots, the unused slot of id 0 included */
        std::size_t size() const;

    private:
        mutable std::mutex _mutex;
        std::vector<std::vector<char>> _slots{1};
};

}
