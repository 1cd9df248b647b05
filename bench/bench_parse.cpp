// Reading a 100 KB item page: ParseItemPage on the page's text against
// StripTags alone on the same page, which every page goes through before it
// is read. The parser works on the stripped text; its own copy of that text,
// the entity clean-up and every marker search count against it. The clock
// offset is pinned, so no time page is fetched.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "BenchReport.h"
#include "base/Settings.h"
#include "model/Item.h"
#include "site/ItemPageParser.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"
#include "../tests/support/TempDir.h"

namespace {

// An item page shaped like the site's: head and navigation, the item table
// near the top, the seller box, then a long description with its own
// tables, images and entities, and the footer.
std::string MakePage(size_t size) {
    std::string p =
        "<html><head><title>eBay: Vintage Leica M3 body &amp; Summicron 50mm lens (item "
        "110012345678 end time Nov-13-06 19:45:10 PST)</title>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">\n"
        "<script type=\"text/javascript\">var pageName = \"ViewItem\";</script></head>\n"
        "<body><table width=\"100%\"><tr><td><a href=\"http://www.ebay.com/\"><img "
        "src=\"http://pics.ebaystatic.com/aw/pics/logos/logoEbay_x45.gif\"></a></td>"
        "<td><a href=\"http://my.ebay.com/\">My eBay</a> | <a href=\"http://signin.ebay.com/\">"
        "Sign in</a></td></tr></table>\n"
        "<table><tr><td>Current bid:</td><td><b>US $1,234.50</b>&nbsp;</td></tr>\n"
        "<tr><td>Your maximum bid:</td><td><form><input type=\"text\" name=\"maxbid\"> "
        "(Enter US $1,259.50 or more)</form></td></tr>\n"
        "<tr><td>End time:</td><td>Nov-13-06 19:45:10 PST</td></tr>\n"
        "<tr><td>History:</td><td><a href=\"http://offer.ebay.com/\">17 bids</a></td></tr>\n"
        "<tr><td>High bidder:</td><td><a href=\"#\">sniper_ann</a> ( 42 )</td></tr>\n"
        "<tr><td>Quantity:</td><td>3 available</td></tr>\n"
        "<tr><td>Shipping costs:</td><td>US $25.00 (first item)<br>US Postal Service</td></tr>\n"
        "</table><table><tr><td>Seller: <a href=\"#\"><b>camera_house</b></a> (<a "
        "href=\"#\">1532</a>)</td></tr><tr><td>Feedback: 99.8% Positive</td></tr>\n"
        "<tr><td><a href=\"#\">View seller's other items</a></td></tr></table>\n"
        "<h2>Description</h2>\n";
    const std::string block =
        "<table border=\"0\" cellpadding=\"4\" width=\"90%\"><tr><td><font face=\"Arial\" "
        "size=\"3\" color=\"#333333\">A lovely double-stroke body from 1955 &amp; a collapsible "
        "lens; shutter speeds accurate, rangefinder bright &nbsp; clean glass.</font></td>"
        "<td><img src=\"http://i.ebayimg.com/images/leica_m3_front.jpg\" width=\"400\"></td>"
        "</tr></table>\n<p>Shipped insured &gt; worldwide. Payment within 7 days &lt;please&gt;."
        "</p>\n";
    while (p.size() < size) p += block;
    p += "<hr><font size=\"1\">Copyright &copy; 1995-2006 eBay Inc.</font></body></html>\n";
    return p;
}

const std::string& Page() {
    static const std::string page = MakePage(100 * 1024);
    return page;
}

const std::string& Stripped() {
    static const std::string text = [] {
        std::string t = Page();
        return bexora::StripTags(t);
    }();
    return text;
}

void BM_StripTags(benchmark::State& state) {
    for (auto _ : state) {
        std::string page = Page();
        benchmark::DoNotOptimize(bexora::StripTags(page).data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}
BENCHMARK(BM_StripTags)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_ParseItemPage(benchmark::State& state) {
    for (auto _ : state) {
        bexora::CItem item;
        if (!bexora::ParseItemPage(Stripped(), item)) state.SkipWithError("page rejected");
        benchmark::DoNotOptimize(item.m_strCurrentPrice.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}
BENCHMARK(BM_ParseItemPage)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    bexora::test::TempDir dir;
    bexora::SetSettingsPath(dir.File("bench.ini"));
    bexora::Settings().WriteString(bexora::setting::UserId, "sniper_ann");
    bexora::FixClockOffset(0);

    benchmark::Initialize(&argc, argv);
    bexora::bench::BestTimeReporter reporter(bexora::bench::BestTimeReporter::Clock::Wall);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double strip = reporter.Best("BM_StripTags");
    double parse = reporter.Best("BM_ParseItemPage");
    if (strip > 0 && parse > 0)
        std::printf("ratio parse / strip_tags = %.2f (%zu-byte page: %.1f us vs %.1f us)\n",
                    parse / strip, Page().size(), parse, strip);
    benchmark::Shutdown();
    return 0;
}
