// The demo catalogue: a few dozen listings of the kind the site had in its
// day, some ending within minutes, with competitors bidding on them.

#include <string>

#include "Site.h"

namespace bexora::auction {

namespace {
struct DemoItem {
    const char* title;
    const char* category;
    double price;
    double endsIn;  // seconds
    const char* kind;
    int quantity;
    double reserve;   // 0: none
    double shipping;  // 0: free
    int competitors;
};

const DemoItem kDemo[] = {
    {"Canon AE-1 Program 35mm SLR Camera with 50mm f/1.8 Lens", "Cameras & Photo", 45.00, 180,
     "auction", 1, 0, 12.50, 5},
    {"Nikon F3 HP Body Only - Excellent Condition", "Cameras & Photo", 120.00, 420, "auction", 1,
     200.00, 15.00, 4},
    {"Polaroid SX-70 Land Camera Alpha 1 Brown Leather", "Cameras & Photo", 35.00, 3 * 3600,
     "auction", 1, 0, 9.95, 3},
    {"Kodak Retina IIIc Rangefinder, Schneider Xenon Lens", "Cameras & Photo", 60.00, 2 * 86400,
     "auction", 1, 0, 11.00, 2},
    {"Apple iPod Video 30GB Black 5th Generation", "Computers & Networking", 89.00, 300, "auction",
     1, 0, 0, 6},
    {"IBM Model M Clicky Keyboard 1391401 1989", "Computers & Networking", 25.00, 900, "auction", 1,
     0, 14.00, 4},
    {"Palm Tungsten T3 PDA with Cradle and Stylus", "Computers & Networking", 40.00, 5 * 3600,
     "auction", 1, 0, 6.50, 2},
    {"Linksys WRT54GL Wireless-G Broadband Router NEW", "Computers & Networking", 49.99, 6 * 86400,
     "fixed", 12, 0, 7.95, 0},
    {"1 GB PC2700 DDR 333MHz Desktop Memory", "Computers & Networking", 19.99, 4 * 86400, "fixed",
     40, 0, 0, 0},
    {"Harry Potter and the Half-Blood Prince First Edition", "Books", 9.99, 600, "auction", 1, 0,
     4.00, 3},
    {"The Hobbit 1966 Houghton Mifflin Hardcover", "Books", 25.00, 7200, "auction", 1, 60.00, 5.00,
     3},
    {"Lot of 25 Paperback Science Fiction Novels Asimov Clarke", "Books", 15.00, 86400, "auction",
     1, 0, 12.00, 2},
    {"Webster's Third New International Dictionary", "Books", 12.00, 3 * 86400, "fixed", 1, 0,
     10.00, 0},
    {"Star Wars Kenner 1978 Luke Skywalker Figure", "Toys & Hobbies", 18.00, 240, "auction", 1, 0,
     3.50, 6},
    {"LEGO Technic 8880 Super Car Complete with Box", "Toys & Hobbies", 75.00, 1800, "auction", 1,
     0, 14.95, 4},
    {"Lionel O Gauge Steam Locomotive and Tender 2026", "Toys & Hobbies", 55.00, 4 * 3600,
     "auction", 1, 90.00, 16.00, 3},
    {"Hot Wheels Redline 1969 Custom Camaro", "Toys & Hobbies", 22.00, 10 * 3600, "auction", 1, 0,
     3.00, 2},
    {"Matchbox Lesney Lot of 10 Cars 1960s", "Toys & Hobbies", 5.00, 2 * 86400, "auction", 10, 0,
     6.00, 5},
    {"Seiko 5 Automatic Men's Watch SNK809", "Jewelry & Watches", 39.00, 360, "auction", 1, 0, 0,
     5},
    {"Sterling Silver Turquoise Ring Navajo Size 8", "Jewelry & Watches", 29.00, 5400, "auction", 1,
     0, 4.95, 3},
    {"Omega Seamaster Professional 300m Blue Dial", "Jewelry & Watches", 950.00, 86400, "auction",
     1, 1500.00, 25.00, 3},
    {"14K Gold Chain Necklace 20 inch 3.2 grams", "Jewelry & Watches", 59.00, 5 * 86400, "fixed", 3,
     0, 0, 0},
    {"1921 Morgan Silver Dollar VF", "Coins", 24.00, 540, "auction", 1, 0, 2.00, 5},
    {"1909-S VDB Lincoln Cent Good Condition", "Coins", 450.00, 6 * 3600, "auction", 1, 0, 5.00, 2},
    {"2006 American Silver Eagle BU Roll of 20", "Coins", 280.00, 3 * 86400, "auction", 5, 0, 8.00,
     4},
    {"Estate Lot Antique Coins and Medals", "Coins", 35.00, 2400, "live", 1, 0, 9.00, 2},
    {"Fender Stratocaster 1979 Natural Maple Neck", "Musical Instruments", 650.00, 1200, "auction",
     1, 900.00, 60.00, 4},
    {"Shure SM58 Dynamic Vocal Microphone", "Musical Instruments", 45.00, 8 * 3600, "auction", 1, 0,
     7.50, 3},
    {"Boss DS-1 Distortion Pedal Made in Japan", "Musical Instruments", 30.00, 4 * 86400, "auction",
     1, 0, 5.50, 2},
    {"Pyrex Butterprint Mixing Bowl Set of 4 Turquoise", "Collectibles", 28.00, 150, "auction", 1,
     0, 18.00, 4},
    {"Coca-Cola 1950s Tin Sign Drink Coca-Cola", "Collectibles", 80.00, 2 * 3600, "auction", 1, 0,
     12.00, 3},
    {"Beanie Babies Princess Diana Bear 1997 Purple", "Collectibles", 8.00, 7 * 86400, "auction", 1,
     0, 3.95, 1},
    {"Zippo 1941 Replica Brushed Chrome Lighter", "Collectibles", 14.95, 6 * 86400, "fixed", 25, 0,
     0, 0},
    {"Fiestaware Cobalt Blue Dinner Plates Set of 6", "Collectibles", 40.00, 3000, "auction", 1, 0,
     22.00, 2},
};
}  // namespace

void Site::LoadDemo() {
    AddAccount({"demo", "demo", true, false, false, 42});
    for (const DemoItem& d : kDemo) {
        Json description = Json::Object();
        description["title"] = d.title;
        description["category"] = d.category;
        description["price"] = d.price;
        description["ends_in"] = d.endsIn;
        description["kind"] = d.kind;
        description["quantity"] = d.quantity;
        if (d.reserve > 0) description["reserve"] = d.reserve;
        if (d.shipping > 0)
            description["shipping"] = d.shipping;
        else
            description["shipping"] = "FREE";
        description["competitors"] = d.competitors;
        // Listings run for seven days, or less when they are short ones.
        double length = d.endsIn < 7 * 86400 ? 7 * 86400 : d.endsIn + 86400;
        description["started_ago"] = length - d.endsIn;
        AddItem(description, nullptr);
    }
}

}  // namespace bexora::auction
