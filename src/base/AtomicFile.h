#pragma once
// Crash-safe file writes: every file the program writes (settings, item
// lists, cookie jar, page files) goes through here, so a crash or a full
// disk never leaves a half-written file in place of a good one.

#include <cstdint>
#include <string>
#include <string_view>

namespace bexora {

// Writes data to a temporary file beside path, flushes it to disk, gives it
// the permission bits of mode and renames it over path. On failure path is
// untouched, the temporary file is removed and error (if given) says why.
// After a good write, temporary files of path that earlier writes left
// behind (a killed process) and that nobody has touched for ten minutes are
// removed: they hold what path holds, passwords included.
bool AtomicWriteFile(const std::string& path, std::string_view data, unsigned mode = 0644,
                     std::string* error = nullptr);

// AtomicWriteFile for a file the user may have made a symbolic link (an
// item list, the settings): the link stays and its target is replaced
// atomically, the temporary file written beside the target. A path that is
// no link is written as AtomicWriteFile writes it. Files in folders others
// may write to (page files in the working folder) do not follow links:
// they use AtomicWriteFile, which replaces a link with a plain file.
bool AtomicWriteThroughLink(const std::string& path, std::string_view data, unsigned mode = 0644,
                            std::string* error = nullptr);

// Where a chain of symbolic links starting at path ends (path itself when it
// is no link). The end need not exist yet. False (and error) for a loop or
// a link that cannot be read.
bool ResolveLinks(const std::string& path, std::string& target, std::string* error = nullptr);

// Reads a whole file as bytes. Returns false (and error) when it cannot.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr);

// Reads a file that must be a regular one of at most maxBytes, checked before
// anything is read: a FIFO, a device or a folder is refused without blocking,
// and so is an oversized file. False (and error saying which) otherwise.
bool ReadRegularFile(const std::string& path, std::string& out, uint64_t maxBytes,
                     std::string* error = nullptr);

// Creates a folder and its parents with the given mode; true if it exists after.
bool MakeDirs(const std::string& path, unsigned mode = 0700);

// The folder part of a path ("." when there is none).
std::string DirName(const std::string& path);

}  // namespace bexora
