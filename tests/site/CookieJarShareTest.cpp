// Two processes on one cookie jar (the desktop program and bexora-cli): a
// save of one must keep what the other saved since, sign-ins and sign-outs.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "base/AtomicFile.h"
#include "site/CookieStore.h"
#include "support/TempDir.h"

namespace {

const char kOld[] = "127.0.0.1\tFALSE\t/\tFALSE\t1924992000\told\tsignin\n";
const char kOldGone[] = "127.0.0.1\tFALSE\t/\tFALSE\t1\told\tsignin";
const char kA[] = "127.0.0.1\tFALSE\t/\tFALSE\t1924992000\tfroma\tyes";
const char kB[] = "127.0.0.1\tFALSE\t/\tFALSE\t1924992000\tfromb\tyes";

bool Holds(const std::vector<std::string>& cookies, const std::string& name) {
    return std::any_of(cookies.begin(), cookies.end(), [&](const std::string& l) {
        return l.find("\t" + name + "\t") != std::string::npos;
    });
}

TEST(CookieJarShare, ASaveKeepsWhatAnotherProcessSavedSince) {
    bexora::test::TempDir dir;
    const std::string jar = dir.File("cookies.txt");
    ASSERT_TRUE(bexora::AtomicWriteFile(jar, kOld, 0600));
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    char c = 0;

    // B read the jar before A signed in (and out of "old"), and saves after.
    pid_t b = fork();
    if (b == 0) {
        auto& store = bexora::CCookieStore::Instance();
        store.SetJarPath(jar);
        if (write(ready[1], "r", 1) != 1 || read(go[0], &c, 1) != 1) _exit(9);
        store.AddCookie(kB);
        auto held = store.AllCookies();
        // A's sign-in reached B too, and A's sign-out.
        _exit(Holds(held, "froma") && !Holds(held, "old") ? 0 : 1);
    }
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    pid_t a = fork();
    if (a == 0) {
        auto& store = bexora::CCookieStore::Instance();
        store.SetJarPath(jar);
        store.AddCookie(kOldGone);
        store.AddCookie(kA);
        _exit(Holds(store.AllCookies(), "old") ? 1 : 0);
    }
    int status = -1;
    waitpid(a, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    waitpid(b, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "B did not take A's changes in";

    std::string text;
    ASSERT_TRUE(bexora::ReadWholeFile(jar, text));
    EXPECT_NE(text.find("\tfroma\tyes"), std::string::npos) << text;
    EXPECT_NE(text.find("\tfromb\tyes"), std::string::npos) << text;
    EXPECT_EQ(text.find("\told\t"), std::string::npos) << "a sign-out came back:\n" << text;
    for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

}  // namespace
