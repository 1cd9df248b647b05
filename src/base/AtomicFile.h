#pragma once
// Crash-safe file writes: every file the program writes (settings, item
// lists, cookie jar, page files) goes through here, so a crash or a full
// disk never leaves a half-written file in place of a good one.

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

// Reads a whole file as bytes. Returns false (and error) when it cannot.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr);

// Creates a folder and its parents with the given mode; true if it exists after.
bool MakeDirs(const std::string& path, unsigned mode = 0700);

// The folder part of a path ("." when there is none).
std::string DirName(const std::string& path);

}  // namespace bexora
