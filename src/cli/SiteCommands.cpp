// bexora-cli commands that read the site's texts: parse-page, parse-date,
// clock.

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
#include "site/ItemPageParser.h"
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

}  // namespace

void AddSiteCommands(CommandTable& commands) {
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
