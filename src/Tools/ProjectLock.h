#pragma once
// One writer per project: an exclusive flock() on NAME.zdp.lock beside the
// project file, held by every command that saves it from its read to its
// rename. The lock dies with its process, so a killed writer never blocks
// the next one; the file holds the holder's process id for the message of
// a command that waited in vain.

#include <chrono>
#include <string>
#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT ProjectLock {
    public:
        enum class Status {
            Locked, /**< held until destruction */
            Busy,   /**< another process held it for the whole wait */
            Failed  /**< the lock file could not be opened (errno tells why) */
        };

        /** Takes the lock of the project file @p projectPath (through its
            symbolic links, beside the file they name), waiting up to
            @p wait while another process holds it */
        explicit ProjectLock(std::string_view projectPath, std::chrono::milliseconds wait);
        ~ProjectLock();
        ProjectLock(const ProjectLock&) = delete;
        ProjectLock& operator=(const ProjectLock&) = delete;

        Status status() const { return _status; }
        /** The lock file */
        const std::string& path() const { return _path; }
        /** For Busy: the process id the holder wrote, 0 when unknown */
        long holder() const { return _holder; }

    private:
        std::string _path;
        int _fd = -1;
        Status _status = Status::Failed;
        long _holder = 0;
};

}
