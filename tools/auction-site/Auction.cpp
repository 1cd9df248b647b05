#include "Auction.h"

#include <algorithm>
#include <cctype>

#include "SiteTime.h"

namespace bexora::auction {

const char* BidResultName(BidResult r) {
    switch (r) {
        case BidResult::HighBidder:
            return "high_bidder";
        case BidResult::ReserveNotMet:
            return "reserve_not_met";
        case BidResult::Outbid:
            return "outbid";
        case BidResult::TooLow:
            return "too_low";
        case BidResult::Ended:
            return "ended";
        case BidResult::Multi:
            return "multi";
        case BidResult::Purchased:
            return "purchased";
        case BidResult::NotAllowed:
            return "not_allowed";
    }
    return "unknown";
}

static bool SameUser(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Each bidder once, with the highest maximum and the moment it was placed;
// ordered by maximum, and among equal maximums the earlier bid first.
std::vector<Auction::Leader> Auction::Leaders() const {
    std::vector<Leader> out;
    for (const Bid& b : m_history) {
        auto it = std::find_if(out.begin(), out.end(),
                               [&](const Leader& l) { return SameUser(l.user, b.user); });
        if (it == out.end())
            out.push_back({b.user, b.maxCents, b.time});
        else if (b.maxCents > it->max) {
            it->max = b.maxCents;
            it->time = b.time;
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const Leader& a, const Leader& b) {
        if (a.max != b.max) return a.max > b.max;
        return a.time < b.time;
    });
    return out;
}

int Auction::Remaining() const {
    if (m_kind != Kind::Fixed) return m_quantity;
    return std::max(0, m_quantity - static_cast<int>(m_history.size()));
}

int64_t Auction::MaxOf(const std::string& user) const {
    int64_t best = 0;
    for (const Bid& b : m_history)
        if (SameUser(b.user, user)) best = std::max(best, b.maxCents);
    return best;
}

Standing Auction::Compute() const {
    Standing s;
    s.bidCount = static_cast<int>(m_history.size());
    if (m_kind == Kind::Fixed) {
        s.priceCents = m_startCents;
        s.minBidCents = m_startCents;
        for (const Bid& b : m_history) s.winners.push_back(b.user);
        return s;
    }
    std::vector<Leader> leaders = Leaders();
    if (IsMulti()) {
        // Every leading bidder pays the lowest successful bid; with fewer
        // bidders than pieces, everyone pays the starting price.
        size_t n = std::min(leaders.size(), static_cast<size_t>(m_quantity));
        for (size_t i = 0; i < n; ++i) s.winners.push_back(leaders[i].user);
        if (leaders.size() < static_cast<size_t>(m_quantity)) {
            s.priceCents = m_startCents;
            s.minBidCents = m_startCents;
        } else {
            s.priceCents = leaders[n - 1].max;
            s.minBidCents = s.priceCents + BidIncrement(s.priceCents);
        }
        if (!leaders.empty()) {
            s.highBidder = leaders[0].user;
            s.highMaxCents = leaders[0].max;
        }
        return s;
    }
    if (leaders.empty()) {
        s.priceCents = m_startCents;
        s.minBidCents = m_startCents;
        s.reserveMet = !m_reserveCents;
        return s;
    }
    const Leader& high = leaders[0];
    s.highBidder = high.user;
    s.highMaxCents = high.max;
    int64_t price = m_startCents;
    if (leaders.size() > 1) {
        int64_t second = leaders[1].max;
        price = std::max(price, std::min(high.max, second + BidIncrement(second)));
    }
    s.reserveMet = !m_reserveCents || high.max >= *m_reserveCents;
    if (m_reserveCents && s.reserveMet && price < *m_reserveCents)
        price = *m_reserveCents;  // a maximum that meets the reserve lifts the price to it
    s.priceCents = price;
    s.minBidCents = price + BidIncrement(price);
    s.winners.push_back(high.user);
    return s;
}

void Auction::Advance(double now) {
    while (m_scriptNext < m_script.size() && m_script[m_scriptNext].time <= now &&
           m_script[m_scriptNext].time < m_endTime && !m_ended) {
        const ScriptBid& sb = m_script[m_scriptNext++];
        PlaceBid(sb.user, sb.maxCents, sb.time);
    }
    if (!m_ended && now >= m_endTime) m_ended = true;
}

BidResult Auction::PlaceBid(const std::string& user, int64_t maxCents, double now) {
    if (m_ended || now >= m_endTime) return BidResult::Ended;
    if (m_kind == Kind::Fixed) {
        if (maxCents < m_startCents) return BidResult::NotAllowed;
        m_history.push_back({user, m_startCents, now});
        if (Remaining() == 0) {
            m_ended = true;  // sold out: the listing closes now
            m_endTime = now;
        }
        return BidResult::Purchased;
    }
    Standing before = Compute();
    if (IsMulti()) {
        if (maxCents < before.minBidCents) return BidResult::TooLow;
        m_history.push_back({user, maxCents, now});
        return BidResult::Multi;
    }
    if (!before.highBidder.empty() && SameUser(before.highBidder, user)) {
        // The leader may raise a maximum; a lower one changes nothing.
        if (maxCents > before.highMaxCents) m_history.push_back({user, maxCents, now});
        return Compute().reserveMet ? BidResult::HighBidder : BidResult::ReserveNotMet;
    }
    if (maxCents < before.minBidCents) return BidResult::TooLow;
    m_history.push_back({user, maxCents, now});
    Standing after = Compute();
    if (!SameUser(after.highBidder, user)) return BidResult::Outbid;
    return after.reserveMet ? BidResult::HighBidder : BidResult::ReserveNotMet;
}

std::vector<std::string> Auction::Winners() const {
    if (!m_ended) return {};
    Standing s = Compute();
    if (m_kind != Kind::Fixed && !IsMulti() && !s.reserveMet) return {};
    return s.winners;
}

}  // namespace bexora::auction
