#pragma once
// One listing and its bidding rules: proxy bidding with the site's bid
// increments, reserve prices, multiple-item (Dutch) auctions, fixed-price
// sales. No locking here; the site holds its lock around every call.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bexora::auction {

enum class Kind { Auction, Fixed, Live };

struct Bid {
    std::string user;
    int64_t maxCents = 0;
    double time = 0;  // site clock, seconds since 1970
};

// A competitor bid of the seeded script, placed when the site clock reaches it.
struct ScriptBid {
    double time = 0;
    std::string user;
    int64_t maxCents = 0;
};

enum class BidResult {
    HighBidder,     // the bidder leads
    ReserveNotMet,  // leads, but below the reserve
    Outbid,         // accepted, but another maximum is higher (or equal and older)
    TooLow,         // below the minimum acceptable bid; not recorded
    Ended,          // the listing is over
    Multi,          // accepted on a multiple-item auction
    Purchased,      // fixed price: one piece bought
    NotAllowed,     // fixed price bought below its price
};
const char* BidResultName(BidResult r);

// What the bids add up to at the moment.
struct Standing {
    int64_t priceCents = 0;   // current price
    int64_t minBidCents = 0;  // smallest acceptable new bid
    std::string highBidder;   // "" when none
    int64_t highMaxCents = 0;
    bool reserveMet = true;
    int bidCount = 0;
    std::vector<std::string> winners;  // leading bidders (multi: up to quantity)
};

class Auction {
public:
    std::string m_number;
    std::string m_title;
    std::string m_seller;
    std::string m_category;
    std::string m_description;
    std::string m_location = "San Jose, California, United States";
    int m_feedback = 0;
    double m_percent = 100.0;
    Kind m_kind = Kind::Auction;
    int m_quantity = 1;  // listed
    int64_t m_startCents = 100;
    std::optional<int64_t> m_reserveCents;
    std::optional<int64_t> m_shippingCents;  // nullopt: free shipping
    double m_startTime = 0;
    double m_endTime = 0;
    bool m_ended = false;  // sticky once the end was seen
    bool m_buyerRequirements = false;
    std::vector<Bid> m_history;  // accepted bids (and purchases), oldest first
    std::vector<ScriptBid> m_script;
    size_t m_scriptNext = 0;

    bool IsMulti() const { return m_kind == Kind::Auction && m_quantity > 1; }
    int Remaining() const;  // fixed price: pieces left
    Standing Compute() const;

    // Plays the script up to now and ends the listing when its time has come.
    void Advance(double now);
    BidResult PlaceBid(const std::string& user, int64_t maxCents, double now);
    // The winner(s) once ended: the high bidder when the reserve is met, all
    // leading bidders of a multiple-item auction, the buyers of a fixed-price sale.
    std::vector<std::string> Winners() const;
    // Highest maximum of one user so far (0 when none).
    int64_t MaxOf(const std::string& user) const;

private:
    struct Leader {
        std::string user;
        int64_t max;
        double time;
    };
    std::vector<Leader> Leaders() const;
};

}  // namespace bexora::auction
