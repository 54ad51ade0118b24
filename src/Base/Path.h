#pragma once
// Path helpers on top of std::filesystem. Every path they return uses forward
// slashes. Failures are reported through return values, never exceptions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine { namespace Path {

/** Backslashes to forward slashes. */
ZANDELLE_EXPORT std::string fromNativeSeparators(std::string_view path);
/** Equal once backslashes are taken for forward slashes, so that a path
    written on Windows matches its "/" spelling. No allocation. */
ZANDELLE_EXPORT bool equalSeparatorsIgnored(std::string_view a, std::string_view b);

/** Joins with one "/"; an absolute @p b replaces @p a; an empty part is skipped. */
ZANDELLE_EXPORT std::string join(std::string_view a, std::string_view b);

/** (directory, file name): "a/b/c.zdp" -> ("a/b", "c.zdp"); "c.zdp" -> ("", "c.zdp"). */
ZANDELLE_EXPORT std::pair<std::string, std::string> split(std::string_view path);
ZANDELLE_EXPORT std::string path(std::string_view path);      /**< directory part */
ZANDELLE_EXPORT std::string filename(std::string_view path);  /**< file name part */

/** (everything before the extension, extension with its dot): "a/b.tar.gz" -> ("a/b.tar", ".gz") */
ZANDELLE_EXPORT std::pair<std::string, std::string> splitExtension(std::string_view path);

ZANDELLE_EXPORT bool exists(std::string_view path);
ZANDELLE_EXPORT bool isDirectory(std::string_view path);

/** Creates the directory and its missing parents; true when it exists afterwards. */
ZANDELLE_EXPORT bool make(std::string_view path);
/** Like make(), for a directory the tool owns inside a project (the cache,
    ".editor"): when @p path is a symbolic link, the link is replaced by a
    directory, so that nothing written into it lands elsewhere */
ZANDELLE_EXPORT bool makeOwned(std::string_view path);
/** Whether @p name names a file inside one directory: not empty, no
    separator, not "." or "..". Names from a project (record keys) that
    become file names are checked with it. */
ZANDELLE_EXPORT bool isPlainName(std::string_view name);

ZANDELLE_EXPORT bool remove(std::string_view path);
ZANDELLE_EXPORT bool move(std::string_view from, std::string_view to);
/** Copies the file @p from to @p to with its permissions, replacing a file
    or a symbolic link at @p to (nothing is written where a link points) */
ZANDELLE_EXPORT bool copy(std::string_view from, std::string_view to);

/** Entries of a directory without "." and "..", sorted by name; empty on failure. */
ZANDELLE_EXPORT std::optional<std::vector<std::string>> list(std::string_view path);

/** The whole file; empty on failure with errno telling why (EISDIR for a
    directory) */
ZANDELLE_EXPORT std::optional<std::string> readString(std::string_view path);
ZANDELLE_EXPORT std::optional<std::vector<char>> read(std::string_view path);

/** Writes through a temporary file in the same directory and a rename, so the
    old file survives any failure. Whatever an interrupted earlier write of
    the same file left is reused and replaced. */
enum class Sync {
    Durable,    /**< synced to disk with its directory before returning */
    Rewritable  /**< not synced: for scratch files, and caches that are
                     written again from their source on every compile */
};
/** What writeAtomic() does with a symbolic link at the path */
enum class Links {
    /** The link itself is replaced by the new file and nothing is written
        where it points: for every file the tool owns (caches, editor
        state, scratch files), which a project from elsewhere may have
        planted as links */
    Replace,
    /** Saved through the link: its target is replaced and keeps its
        permissions. For the files the user names (the project file, the
        per-user lists) */
    Follow
};
ZANDELLE_EXPORT bool writeAtomic(std::string_view path, std::string_view data, Sync sync = Sync::Durable,
    Links links = Links::Replace);
/** The temporary file writeAtomic() writes before renaming it to @p path */
ZANDELLE_EXPORT std::string temporaryFileFor(std::string_view path);

/** The file that @p path finally names, following symbolic links (a relative
    link from its own directory); a path that does not exist is its own
    answer. Empty for a chain of more than 40 links. */
ZANDELLE_EXPORT std::optional<std::string> followLinks(std::string_view path);

/** Absolute, lexically normalised, forward slashes, no trailing slash. */
ZANDELLE_EXPORT std::string absolute(std::string_view path);
/** @p path relative to @p base, forward slashes. */
ZANDELLE_EXPORT std::string relativeTo(std::string_view path, std::string_view base);
ZANDELLE_EXPORT std::string currentDirectory();
/** The running executable's path. */
ZANDELLE_EXPORT std::string executableLocation();
/** The program @p name beside the library's own file (in a program that
    links the library statically, beside the program), where the library's
    helper processes are installed; empty when there is none that can run */
ZANDELLE_EXPORT std::string helperProgram(std::string_view name);
/** Modification time in nanoseconds, 0 when unknown. */
ZANDELLE_EXPORT std::int64_t lastModification(std::string_view path);

}}
