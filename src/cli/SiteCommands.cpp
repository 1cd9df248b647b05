// bexora-cli commands that read the site's texts: parse-page, parse-date,
// clock, profile.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <thread>

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "cli/Commands.h"
#include "cli/ItemFormat.h"
#include "model/Item.h"
#include "cli/CliPrompts.h"
#include "bidding/BidRequest.h"
#include "site/BidHistory.h"
#include "site/ItemPageParser.h"
#include "site/SiteProfile.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora::cli {

namespace {

bool ParseInt64(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

// "--name VALUE" or "--name=VALUE" at args[i]; advances i past it.
bool OptionValue(const Args& args, size_t& i, const std::string& name, std::string& value,
                 bool& missing) {
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[i + 1];
        i += 2;
        return true;
    }
    if (a.rfind(name + "=", 0) == 0) {
        value = a.substr(name.size() + 1);
        i += 1;
        return true;
    }
    return false;
}

int ParsePage(const Args& args) {
    std::optional<int64_t> now, offset;
    std::optional<std::string> userId;
    std::string file;
    bool haveFile = false;
    for (size_t i = 0; i < args.size();) {
        std::string value;
        bool missing = false;
        if (OptionValue(args, i, "--now", value, missing)) {
            int64_t v;
            if (missing || !ParseInt64(value, v)) return Usage("--now needs EPOCH seconds");
            now = v;
        } else if (OptionValue(args, i, "--offset", value, missing)) {
            int64_t v;
            if (missing || !ParseInt64(value, v)) return Usage("--offset needs SECONDS");
            offset = v;
        } else if (OptionValue(args, i, "--user-id", value, missing)) {
            if (missing) return Usage("--user-id needs an ID");
            userId = value;
        } else if (args[i].rfind("--", 0) == 0) {
            return Usage("unknown parse-page option \"" + args[i] + "\"");
        } else {
            if (haveFile) return Usage("parse-page takes at most one FILE");
            file = args[i];
            haveFile = true;
            ++i;
        }
    }

    std::string page;
    if (!haveFile || file == "-") {
        page.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::string error;
        if (!ReadWholeFile(file, page, &error)) {
            std::cerr << "bexora-cli: " << error << "\n";
            return kFailed;
        }
    }

    CManualClock clock(now.value_or(0) * 1000);
    if (now) SetClock(&clock);
    if (offset) FixClockOffset(*offset);
    if (userId) OverrideSavedUserId(*userId);

    StripTags(page);
    CItem item;
    bool ok = ParseItemPage(std::move(page), item);
    std::string out = ok ? "result=true\n" : "result=false\n";
    out += FormatItemFields(item);

    SetClock(nullptr);
    FixClockOffset(std::nullopt);
    OverrideSavedUserId(std::nullopt);

    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

int ParseDate(const Args& args) {
    if (args.empty()) return Usage("parse-date needs a TEXT");
    // Unquoted words are taken as one text: parse-date Nov-11-06 14:23:45 PST
    std::string text = args[0];
    for (size_t i = 1; i < args.size(); ++i) text += " " + args[i];
    std::printf("%lld\n", static_cast<long long>(ParseSiteDate(text)));
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// Measures the site's clock as a list does at its start (a series of reads
// of the time page) and says what it found.
int ClockCommand(const Args& args) {
    if (!args.empty()) return Usage("clock takes no arguments");
    CCliPrompts prompts(std::cout);
    constexpr int kWaitMs = 120000;
    CClockKeeper keeper;
    keeper.RequestRead();
    for (int waited = 0; keeper.ReadsDone() < 1 && waited < kWaitMs; waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    keeper.Stop();
    const ClockStatus st = ReadClockStatus();
    if (!st.measured) {
        std::cerr << "bexora-cli: the site's clock could not be read (" << site::OfficialTimeUrl() << ")\n";
        return kFailed;
    }
    const int64_t mag = st.offsetMs < 0 ? -st.offsetMs : st.offsetMs;
    std::printf("offset %s%lld.%03lld s (this computer's clock minus the site's, its zone included)\n",
                st.offsetMs < 0 ? "-" : "", static_cast<long long>(mag / 1000), static_cast<long long>(mag % 1000));
    std::printf("bound %lld ms\n", static_cast<long long>(st.boundMs));
    std::printf("%s\n", SiteClockText(st).c_str());
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// What a saved page reads to with profile, or why it reads to nothing.
// Tried as each kind of page the program reads, in the order a page is
// most telling.
bool CheckPage(const std::string& path, const CSiteProfile& profile, std::string& out) {
    std::string raw, error;
    if (!ReadWholeFile(path, raw, &error)) {
        out = path + ": " + error + "\n";
        return false;
    }
    std::string text = raw;
    StripTags(text);
    CItem item;
    std::string why;
    if (ParseItemPage(text, item, profile, &why)) {
        out = path + ": item page\n" + FormatItemFields(item);
        return true;
    }
    if (const int64_t t = ReadSiteTimePage(raw, profile)) {
        out = path + ": time page\ntime=" + std::to_string(t) + "\n";
        return true;
    }
    const std::string key = GetHiddenField(raw, profile.Get("offer.field-key"));
    if (!key.empty()) {
        out = path + ": offer form\nkey=" + key + "\n";
        return true;
    }
    if (text.find(profile.Get("offer.error")) != std::string::npos) {
        out = path + ": offer form with errors\nerror=" + ReadOfferError(text, profile) + "\n";
        return true;
    }
    if (text.find(profile.Get("sign-in.refused")) != std::string::npos) {
        out = path + ": sign-in refused\n";
        return true;
    }
    const std::vector<SiteBidRecord> bids = ReadBidHistoryPage(raw, profile);
    if (!bids.empty()) {
        out = path + ": bid history\ncount=" + std::to_string(bids.size()) + "\n";
        for (const SiteBidRecord& b : bids) out += "bid=" + b.user + " " + b.amount + " " + b.when + "\n";
        return true;
    }
    const AnswerRow answer = MatchAnswer(raw, profile);
    if (answer.action != AnswerAction::Unknown && answer.action != AnswerAction::EmptyPage) {
        out = path + ": bid answer\nanswer=" + answer.marker + "\nmessage=" + answer.result + "\n";
        return true;
    }
    out = path + ": not recognised (" + (why.empty() ? "empty page" : why) +
          " for an item page; no time, offer form, bid history or bid answer either)\n";
    return false;
}

int ProfileCommand(const Args& args) {
    if (args.empty()) return Usage("profile needs show or check");
    if (args[0] == "show") {
        if (args.size() != 1) return Usage("profile show takes no arguments");
        const std::shared_ptr<const CSiteProfile> profile = CurrentProfile();
        std::printf("# site profile in use: %s, \"%s\", version %ld\n", profile->m_strSource.c_str(),
                    profile->Name().c_str(), profile->Version());
        const std::string problem = ProfileProblem();
        if (!problem.empty()) std::printf("# %s\n", problem.c_str());
        const std::string text = profile->Text();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? kOk : kFailed;
    }
    if (args[0] == "check") {
        if (args.size() < 3) return Usage("profile check needs PROFILE and at least one PAGE");
        CSiteProfile profile;
        std::string error;
        if (!LoadSiteProfile(args[1], profile, error)) {
            std::cerr << "bexora-cli: " << error << "\n";
            return kFailed;
        }
        bool all = true;
        for (size_t i = 2; i < args.size(); ++i) {
            std::string out;
            all = CheckPage(args[i], profile, out) && all;
            std::fwrite(out.data(), 1, out.size(), stdout);
        }
        if (std::fflush(stdout) != 0) return kFailed;
        return all ? kOk : kFailed;
    }
    return Usage("unknown profile command \"" + args[0] + "\"");
}

}  // namespace

void AddSiteCommands(CommandTable& commands) {
    commands.push_back({"profile", &ProfileCommand,
                        "  profile show                  print the site profile in use\n"
                        "  profile check PROFILE PAGE... read saved pages with a profile file\n"
                        "                                (builtin: the built-in one); status 1 when\n"
                        "                                a page is not recognised\n"});
    commands.push_back({"clock", &ClockCommand,
                        "  clock                         measure the site's clock: the offset, how\n"
                        "                                closely it is known, and this computer's\n"
                        "                                error\n"});
    commands.push_back(
        {"parse-page", &ParsePage,
         "  parse-page [--now EPOCH] [--offset SECONDS] [--user-id ID] [FILE]\n"
         "                                parse a raw item page (standard input without\n"
         "                                FILE): result=true|false, then NAME=VALUE per\n"
         "                                item field\n"});
    commands.push_back({"parse-date", &ParseDate,
                        "  parse-date TEXT               print a site date-time as epoch seconds\n"
                        "                                (local zone from TZ)\n"});
}

}  // namespace bexora::cli
