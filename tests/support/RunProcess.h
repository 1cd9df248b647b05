#pragma once
// Runs a program with arguments and standard input, and collects its exit
// status, standard output and standard error.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace bexora::test {

struct ProcessResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// asUid >= 0: the child drops to that user (and group) first; only root can.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& input = "", int asUid = -1) {
    // Everything the child needs is made before the fork: between fork and
    // exec the child of a threaded process may only make async-signal-safe
    // calls. An allocation there waits for good on a lock another thread
    // held at the fork (the sanitizers' allocator does exactly that).
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Close-on-exec, so that a child started at the same time from another
    // thread does not keep this child's pipes open (and its reader waiting).
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return {};
    pid_t pid = fork();
    if (pid == 0) {
        // dup2 clears close-on-exec on the copies.
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (asUid >= 0 && (setgid(static_cast<gid_t>(asUid)) != 0 || setuid(static_cast<uid_t>(asUid)) != 0))
            _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (pid < 0) {
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        return {};
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    ProcessResult r;
    size_t written = 0;
    if (input.empty()) {
        close(in[1]);
        in[1] = -1;
    } else {
        fcntl(in[1], F_SETFL, O_NONBLOCK);
    }
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
        int n = in[1] >= 0 ? 3 : 2;
        if (!outOpen) fds[0].fd = -1;
        if (!errOpen) fds[1].fd = -1;
        if (poll(fds, n, 30000) <= 0) break;
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(got));
            }
        }
        if (n == 3 && (fds[2].revents & (POLLOUT | POLLERR))) {
            ssize_t w = write(in[1], input.data() + written, input.size() - written);
            if (w > 0) written += static_cast<size_t>(w);
            if (w < 0 || written == input.size()) {
                close(in[1]);
                in[1] = -1;
            }
        }
    }
    if (in[1] >= 0) close(in[1]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace bexora::test
