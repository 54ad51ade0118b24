#pragma once
// A background service of the editor (the local preview server). The library
// only stops it while a project is replaced and starts it again.

#include "Base/Export.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT EditorService {
    public:
        virtual ~EditorService() = default;
        virtual bool isRunning() const { return _running; }
        virtual void start() { _running = true; ++_starts; }
        /** @p wait: block until it has stopped */
        virtual void stop(bool wait) { (void)wait; _running = false; ++_stops; }

        int startCount() const { return _starts; }
        int stopCount() const { return _stops; }

    private:
        bool _running = false;
        int _starts = 0, _stops = 0;
};

}
