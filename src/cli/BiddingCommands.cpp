// bexora-cli place-bid and test-login: one bid through the bid worker, and
// the sign-in check of the options page, against the configured site.

#include <iostream>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "bidding/BidRequest.h"
#include "bidding/BidThread.h"
#include "bidding/UiDispatcher.h"
#include "cli/CliPrompts.h"
#include "cli/Commands.h"

namespace bexora::cli {

namespace {

struct Account {
    std::string user, password;
    bool hasUser = false, hasPassword = false;
};

// Takes --user U and --password P (or --user=U, --password=P) out of args;
// the rest stay. Returns an error text, empty when the options were fine.
std::string TakeAccount(const Args& args, Account& account, Args& rest) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto take = [&](const char* name, std::string& value, bool& has) -> int {
            std::string opt = std::string("--") + name;
            if (a == opt) {
                if (i + 1 >= args.size()) return -1;
                value = args[++i];
            } else if (a.rfind(opt + "=", 0) == 0) {
                value = a.substr(opt.size() + 1);
            } else {
                return 0;
            }
            has = true;
            return 1;
        };
        int user = take("user", account.user, account.hasUser);
        if (user < 0) return "--user needs a user ID";
        if (user > 0) continue;
        int pass = take("password", account.password, account.hasPassword);
        if (pass < 0) return "--password needs a password";
        if (pass > 0) continue;
        if (a.rfind("--", 0) == 0) return "unknown option \"" + a + "\"";
        rest.push_back(a);
    }
    if (!account.hasUser) return "--user is required";
    if (!account.hasPassword) return "--password is required";
    // A password on the command line is seen by every user of the machine
    // (ps, /proc) and stays in the shell's history: "-" reads it from the
    // first line of standard input instead.
    if (account.password == "-") {
        if (!ReadPasswordFromStdin(account.password)) return "no password on standard input";
    }
    return "";
}

// The UI side of one bid: the result arrives on this (the main) thread.
class CResultOwner : public IWorkerOwner {
public:
    void OnItemUpdated(std::unique_ptr<CItem>) override {}
    void OnBidPlaced(std::unique_ptr<CBidRequest> request) override { m_result = std::move(request); }
    bool IsUpdateInFlight(const std::string&) override { return false; }
    std::unique_ptr<CBidRequest> m_result;
};

int PlaceBidCommand(const Args& args) {
    Account account;
    Args rest;
    std::string problem = TakeAccount(args, account, rest);
    if (!problem.empty()) return Usage("place-bid: " + problem);
    if (rest.size() != 2) return Usage("place-bid needs ITEM and MAXBID");

    CItem item;
    item.m_strItemNumber = rest[0];
    item.m_strMyBid = rest[1];
    item.m_strUserId = account.user;
    item.m_strPassword = account.password;
    auto request = std::make_unique<CBidRequest>(item);
    request->m_tBidStarted = LocalNow();

    CUiDispatcher ui;
    CResultOwner owner;
    CBidThread bidder(&owner, ui);
    if (!bidder.CreateThread()) {
        std::cerr << "bexora-cli: cannot start the bid worker\n";
        return kFailed;
    }
    bidder.PostBid(std::move(request));
    // Every fetch has its time-outs, so the worker always comes back.
    while (!owner.m_result) ui.WaitAndRunPending(1000);
    bidder.StopWorker();

    const CBidRequest& r = *owner.m_result;
    std::cout << "succeeded=" << (r.m_bSucceeded ? "true" : "false") << "\n"
              << "result=" << r.m_strResult << "\n"
              << "url=" << r.m_strResultUrl << "\n";
    std::cout.flush();
    return std::cout ? kOk : kFailed;
}

int TestLoginCommand(const Args& args) {
    Account account;
    Args rest;
    std::string problem = TakeAccount(args, account, rest);
    if (!problem.empty()) return Usage("test-login: " + problem);
    if (!rest.empty()) return Usage("test-login takes only --user and --password");
    std::cout << TestLogin(account.user, account.password) << "\n";
    std::cout.flush();
    return std::cout ? kOk : kFailed;
}

}  // namespace

void AddBiddingCommands(CommandTable& commands) {
    commands.push_back({"place-bid", &PlaceBidCommand,
                        "  place-bid ITEM MAXBID --user U --password P\n"
                        "                                sign in and bid MAXBID (as \"US $12.50\") on\n"
                        "                                ITEM; prints succeeded=, result= and url=\n"
                        "                                (--password - reads it from standard input)\n"});
    commands.push_back({"test-login", &TestLoginCommand,
                        "  test-login --user U --password P\n"
                        "                                check that the site accepts the sign-in\n"
                        "                                (--password - reads it from standard input)\n"});
}

}  // namespace bexora::cli
