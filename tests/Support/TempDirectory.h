#pragma once
// A fresh directory under the system's temporary directory, removed with the
// guard. Tests build projects in it and point APPDATA at it.

#include <optional>
#include <string>
#include <string_view>

namespace ZandelleEngine { namespace Testing {

class TempDirectory {
    public:
        TempDirectory();
        ~TempDirectory();
        TempDirectory(const TempDirectory&) = delete;
        TempDirectory& operator=(const TempDirectory&) = delete;

        /** The directory, forward slashes, no trailing slash */
        const std::string& path() const { return _path; }
        /** path() joined with @p relative */
        std::string operator/(std::string_view relative) const;
        /** Writes @p contents to @p relative, creating parent directories */
        std::string write(std::string_view relative, std::string_view contents) const;

    private:
        std::string _path;
};

/** Points APPDATA at a directory for the guard's lifetime, restoring it after. */
class ScopedAppData {
    public:
        explicit ScopedAppData(const std::string& path);
        ~ScopedAppData();
    private:
        std::optional<std::string> _previous;
};

/** Makes @p path the working directory for the guard's lifetime */
class ScopedWorkingDirectory {
    public:
        explicit ScopedWorkingDirectory(const std::string& path);
        ~ScopedWorkingDirectory();
    private:
        std::string _previous;
};

}}
