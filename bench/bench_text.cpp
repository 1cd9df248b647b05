// How much the page clean-up costs next to the cheapest possible pass over
// the same bytes: StripTags on a fresh copy of a 200 KB item page plus
// PriceValue on every line that follows a price marker, against a memchr
// count of '<'. Absolute times on a shared machine mean little; the ratio
// at the end is the figure to watch.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "BenchReport.h"
#include "text/TextTools.h"

using namespace bexora;

namespace {

const char* const kPriceMarkers[] = {
    "Current bid:", "Starting bid:", "Shipping costs:", "Buy It Now price:"};

// An item page as the site serves it: a head full of script and style, the
// bid box as nested tables, item specifics, a long description with
// entities and non-ASCII bytes, and rows of similar items with their prices.
std::string BuildItemPage(size_t target) {
    std::string page =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html><head>"
        "<title>Vintage Brass Telescope 1920s &#39;Dollond&#39; - eBay (item 123456789012 end "
        "time Mar-14-24 18:22:05 PDT)</title>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\n"
        "<style type=\"text/css\">.bid{font:bold 10pt Arial}td.v{color:#333;padding:2px 4px}"
        "</style>\n<script type=\"text/javascript\">var pageName=\"ViewItem\";"
        "function dI(a,b){if(a<b){return b;}return a;}</script></head>\n<body "
        "bgcolor=\"#ffffff\">\n";
    page +=
        "<table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\"><tr>"
        "<td class=\"bid\">Current bid:</td><td class=\"v\"><b>US $1,234.50</b></td></tr>\n"
        "<tr><td>End time:</td><td>Mar-14-24 18:22:05 PDT</td></tr>\n"
        "<tr><td>Time left:</td><td>2 days 4 hours</td></tr>\n"
        "<tr><td>Shipping costs:</td><td>US $18.00<br>US Postal Service Priority Mail</td></tr>\n"
        "<tr><td>History:</td><td><a href=\"/ws/eBayISAPI.dll?ViewBids&amp;item=123456789012\">"
        "17 bids</a></td></tr>\n<tr><td>High bidder:</td><td>b***r (412)</td></tr>\n"
        "<tr><td>Seller:</td><td><a href=\"/usr/brass_and_glass\">brass_and_glass</a> "
        "(<a href=\"/fdbk\">2871</a>)</td></tr><tr><td>Feedback:</td><td>99.6% Positive"
        "</td></tr></table>\n";
    int n = 0;
    while (page.size() < target) {
        ++n;
        page +=
            "<div class=\"desc\"><p><font face=\"Georgia\" size=\"3\">A fine instrument in "
            "very good condition &#8211; caf\xe9 provenance, lens clear, draw tubes move "
            "smoothly.\xa0 Length extended approx. 42&quot; &amp; closed 14&quot;.</font></p>"
            "<ul><li>Maker: Dollond, London</li><li>Material: brass &amp; mahogany</li>"
            "<li>Era: 1920&#39;s</li></ul></div>\n";
        char row[700];
        std::snprintf(row, sizeof row,
                      "<table class=\"sim\"><tr><td><a href=\"http://cgi.example.com/ws/"
                      "eBayISAPI.dll?ViewItem&amp;item=%012d\"><img src=\"/img/%d.jpg\" "
                      "border=\"0\" alt=\"\"></a></td><td><a href=\"/itm/%d\">Brass ship "
                      "telescope no. %d</a></td></tr><tr><td>Current bid:</td><td>US $%d.%02d"
                      "</td></tr><tr><td>Shipping costs:</td><td>$%d.99</td></tr>"
                      "<tr><td>Buy It Now price:</td><td>GBP %d,%03d.00</td></tr></table>\n",
                      220000000 + n, n, n, n, 10 + n % 900, n % 100, 3 + n % 20, 1 + n % 9,
                      n % 1000);
        page += row;
    }
    page += "</body></html>\n";
    return page;
}

const std::string& Page() {
    static const std::string page = BuildItemPage(200 * 1024);
    return page;
}

void BM_StripTagsAndPrices(benchmark::State& state) {
    const std::string& page = Page();
    size_t prices = 0;
    for (auto _ : state) {
        std::string text = page;
        StripTags(text);
        double sum = 0;
        prices = 0;
        for (const char* marker : kPriceMarkers) {
            size_t p = 0;
            while ((p = text.find(marker, p)) != std::string::npos) {
                size_t lf = text.find('\n', p);
                if (lf == std::string::npos) break;
                size_t end = text.find('\n', lf + 1);
                if (end == std::string::npos) end = text.size();
                sum += PriceValue(text.substr(lf + 1, end - lf - 1));
                ++prices;
                p = lf;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["prices"] = static_cast<double>(prices);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_StripTagsAndPrices);

// The reference: one memchr pass counting tag openings.
void BM_MemchrTags(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        const char* p = page.data();
        const char* end = p + page.size();
        size_t count = 0;
        while ((p = static_cast<const char*>(std::memchr(p, '<', end - p))) != nullptr) {
            ++count;
            ++p;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_MemchrTags);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("page: %zu bytes\n", Page().size());
    bexora::bench::BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double strip = reporter.Best("BM_StripTagsAndPrices");
    double scan = reporter.Best("BM_MemchrTags");
    bexora::bench::PrintRatio("strip_tags+price / memchr", strip, scan);
    benchmark::Shutdown();
    return 0;
}
