#include "base/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace bexora {

namespace {

void SetError(std::string* error, const std::string& what, int err) {
    if (error) *error = what + ": " + std::strerror(err);
}

// A save killed between mkstemp and rename leaves its temporary file, with
// the same content (passwords included) as the file it was to replace. One
// that has not been touched for this long is nobody's save in progress.
constexpr time_t kStaleTemporarySeconds = 600;

std::string BaseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes path's leftover temporary files ("NAME.tmpXXXXXX") that are old.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string dir = DirName(path);
    const std::string prefix = BaseName(path) + ".tmp";
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    const time_t now = time(nullptr);
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string full = dir + "/" + name;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (now - st.st_mtime >= kStaleTemporarySeconds) unlink(full.c_str());
    }
    closedir(d);
}

}  // namespace

std::string DirName(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool MakeDirs(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string parent = DirName(path);
    if (parent != path && parent != "." && parent != "/") MakeDirs(parent, mode);
    if (mkdir(path.c_str(), mode) == 0) return true;
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool AtomicWriteFile(const std::string& path, std::string_view data, unsigned mode,
                     std::string* error) {
    std::string tmpl = path + ".tmpXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        SetError(error, "cannot create a file beside " + path, errno);
        return false;
    }
    auto fail = [&](const std::string& what) {
        int err = errno;
        close(fd);
        unlink(name.data());
        SetError(error, what, err);
        return false;
    };
    if (fchmod(fd, mode) != 0) return fail("cannot set the mode of " + path);
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write " + path);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) return fail("cannot flush " + path);
    if (close(fd) != 0) {
        int err = errno;
        unlink(name.data());
        SetError(error, "cannot close " + path, err);
        return false;
    }
    if (rename(name.data(), path.c_str()) != 0) {
        int err = errno;
        unlink(name.data());
        SetError(error, "cannot replace " + path, err);
        return false;
    }
    // Make the rename itself durable.
    int dfd = open(DirName(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    RemoveStaleTemporaries(path);
    return true;
}

bool ResolveLinks(const std::string& path, std::string& target, std::string* error) {
    std::string current = path;
    // As many hops as the kernel follows before it calls it a loop.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return true;
        }
        std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n = readlink(current.c_str(), buf.data(), buf.size());
        if (n < 0) {
            SetError(error, "cannot read the link " + current, errno);
            return false;
        }
        if (static_cast<size_t>(n) >= buf.size()) {  // grew while we looked
            SetError(error, "cannot read the link " + current, ENAMETOOLONG);
            return false;
        }
        std::string next(buf.data(), static_cast<size_t>(n));
        if (next.empty()) {
            SetError(error, "cannot follow the link " + current, ENOENT);
            return false;
        }
        // A relative link is relative to the folder the link is in.
        current = next.front() == '/' ? next : DirName(current) + "/" + next;
    }
    SetError(error, "cannot follow the link " + path, ELOOP);
    return false;
}

bool AtomicWriteThroughLink(const std::string& path, std::string_view data, unsigned mode,
                            std::string* error) {
    std::string target;
    if (!ResolveLinks(path, target, error)) return false;
    return AtomicWriteFile(target, data, mode, error);
}

// Reads fd to its end into out (appending) and closes it; more than
// maxBytes is an error, also for a file that grows while it is read.
static bool ReadOpenFile(int fd, const std::string& path, std::string& out, uint64_t maxBytes,
                         std::string* error) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            close(fd);
            SetError(error, "cannot read " + path, err);
            return false;
        }
        if (n == 0) break;
        if (out.size() + static_cast<uint64_t>(n) > maxBytes) {
            close(fd);
            if (error)
                *error = path + " is too large (at most " + std::to_string(maxBytes) +
                         " bytes are read)";
            return false;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool ReadRegularFile(const std::string& path, std::string& out, uint64_t maxBytes,
                     std::string* error) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        SetError(error, "cannot open " + path, errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        SetError(error, "cannot read " + path, errno);
        close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        if (error) *error = path + " is not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        if (error)
            *error = path + " is too large (" + std::to_string(st.st_size) +
                     " bytes; at most " + std::to_string(maxBytes) + " are read)";
        return false;
    }
    out.clear();
    out.reserve(static_cast<size_t>(st.st_size));
    return ReadOpenFile(fd, path, out, maxBytes, error);
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot open " + path, errno);
        return false;
    }
    out.clear();
    return ReadOpenFile(fd, path, out, UINT64_MAX, error);
}

}  // namespace bexora
