#pragma once
// Listing pages whose rows are drawn by page script: the page carries one
// call per row, such as
//   dSI('110012345678','Nikon F3 body','US $120.00',3,'2h 15m','http://.../t.jpg');
// inside "if(DrawListingsItemJSLoaded){...}". The rows are read from the
// calls' arguments: the item number is the first argument made of 10 or 12
// digits, the price the first quoted text after it holding an amount with a
// currency sign, and the title the first quoted text between the two that
// has a letter and is not an address. Arguments may be quoted with ' or
// " and use the script's escapes; titles may hold tags and character
// references.

#include <string>
#include <vector>

namespace bexora {

struct ScriptListing {
    std::string m_strItemNumber;
    std::string m_strTitle = "N/A";
    std::string m_strCurrentPrice = "N/A";
};

// True when the page's listings are drawn by script.
bool HasScriptListing(const std::string& page);

// The rows of every dSI(...) call of the page that names an item number, in
// page order (a number listed twice is returned twice).
std::vector<ScriptListing> ReadScriptListings(const std::string& page);

}  // namespace bexora
