// "--password -" on a terminal: what is typed is not echoed, and the
// terminal is left as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/CliPrompts.h"

namespace {

// Everything the terminal has sent back to its master side so far.
std::string Drain(int master) {
    std::string out;
    char buf[256];
    while (poll(std::vector<pollfd>{{master, POLLIN, 0}}.data(), 1, 200) > 0) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

bool EchoOn(int fd) {
    termios t {};
    return tcgetattr(fd, &t) == 0 && (t.c_lflag & ECHO);
}

TEST(CliPrompts, PasswordFromATerminalIsNotEchoed) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ASSERT_TRUE(EchoOn(slave));

    // Typed only once the reader has the terminal set up, as a person would.
    std::thread typist([&] {
        for (int i = 0; i < 250 && EchoOn(slave); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        (void)!write(master, "s3cret word\r", 12);
    });
    std::ostringstream prompt;
    std::string password;
    EXPECT_TRUE(bexora::cli::ReadSecretLine(slave, password, prompt));
    typist.join();
    EXPECT_EQ(password, "s3cret word");
    EXPECT_EQ(prompt.str(), "Password: ");
    EXPECT_EQ(Drain(master).find("s3cret"), std::string::npos);
    EXPECT_TRUE(EchoOn(slave));  // restored

    // Not a terminal: read as it comes, a CR before the line feed dropped.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    (void)!write(pipeFds[1], "pw\r\n", 4);
    close(pipeFds[1]);
    EXPECT_TRUE(bexora::cli::ReadSecretLine(pipeFds[0], password, prompt));
    EXPECT_EQ(password, "pw");
    EXPECT_FALSE(bexora::cli::ReadSecretLine(pipeFds[0], password, prompt));  // nothing more
    close(pipeFds[0]);
    close(slave);
    close(master);
}

}  // namespace
