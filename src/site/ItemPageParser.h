#pragma once
// Reading an item page ("ViewItem") into an item record. The page arrives as
// text with its tags already turned into line feeds (StripTags); every value
// is cut out after a marker text of the site profile at a fixed offset from
// it, and a page without the markers the site always writes is rejected as a
// whole.
//
// CItem::UpdateFromSite, which fetches the page and merges what was read, is
// defined with the parser (ItemPageParser.cpp).

#include <optional>
#include <string>

#include "model/Item.h"

namespace bexora {

// Fills item from the page text (a copy: the parser cleans up entities in
// its own text). Fields the page does not show keep their value. False when
// the page is not an item page; fields already written stay written. An end
// date it cannot read leaves the end time (and time left) as they were. Uses
// the clock offset measured before (a time page only while none was) and,
// when the page names a high bidder, the saved "Bid Dialog"/"User ID".
// Keeps no state: any number of threads may parse at once.
bool ParseItemPage(std::string page, CItem& item);
// The same with a given site profile. A page the profile does not recognise
// (one of its item.recognise texts, a heading marker, the end-of-item marker
// or every price label missing) leaves item untouched; why says what was
// missing.
class CSiteProfile;
bool ParseItemPage(std::string page, CItem& item, const CSiteProfile& profile,
                   std::string* why = nullptr);

// "Page not recognised: ITEM (saved as NAME)", the words a refresh or a bid
// reports when the site's page was not the page the profile expects.
std::string PageNotRecognisedText(const std::string& itemNumber, const std::string& savedAs);

// Stands in for the saved "Bid Dialog"/"User ID" when the parser looks for
// the user among the high bidders, without touching the settings file
// (bexora-cli parse-page --user-id). nullopt goes back to the setting.
void OverrideSavedUserId(std::optional<std::string> userId);

}  // namespace bexora
