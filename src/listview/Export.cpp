#include "listview/Export.h"

#include <ctime>

#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "listview/ItemListCore.h"
#include "text/TextTools.h"

namespace bexora {

std::string ExportEndTime(int64_t endTime) {
    // 0 is "no time", not the first second of 1970.
    if (endTime == 0) return {};
    const time_t t = static_cast<time_t>(endTime);
    struct tm tm {};
    if (!localtime_r(&t, &tm)) return {};
    char buf[256];
    const size_t n = strftime(buf, sizeof buf, "%x %X", &tm);
    return std::string(buf, n);
}

std::string ExportText(const std::vector<CItem*>& items, int64_t offset) {
    std::string text =
        "item #\tDescription\tCurrent Bid\tShipping\t"
        "Qty\tBid No.\tEndTime\tSeller\tFeedback\tPercent\tMy bid\tBidGroup\n";
    for (const CItem* item : items) {
        if (!item) continue;
        const std::string* fields[] = {&item->m_strItemNumber,   &item->m_strTitle,
                                       &item->m_strCurrentPrice, &item->m_strShipping,
                                       &item->m_strQuantity,     &item->m_strBidCount};
        for (const std::string* f : fields) text += *f + "\t";
        text += ExportEndTime(item->m_tEndTime == 0 ? 0 : item->m_tEndTime + offset) + "\t";
        text += item->m_strSeller + "\t" + item->m_strFeedback + "\t" + item->m_strPercent + "\t" +
                item->m_strMyBid + "\t" + item->m_strBidGroup + "\n";
    }
    // Written as a text file always was on the platform the format comes
    // from: every line feed, a field's own included, becomes CR LF.
    ReplaceAll(text, "\n", "\r\n");
    return text;
}

bool ExportItems(const std::vector<CItem*>& items, const std::string& path, int64_t offset) {
    std::string error;
    if (AtomicWriteFile(path, ExportText(items, offset), 0644, &error)) return true;
    std::string message = exporttext::kWriteFailed;
    ReplaceAll(message, "%2",
               error.empty() ? std::string("The file could not be written.") : error);
    ReplaceAll(message, "%1", path);
    ShowPrompt(message, PromptButtons::Ok, PromptIcon::Error);
    return false;
}

bool OnExport(CItemListCore& core, const std::string& path) {
    if (path.empty()) return false;
    // End times as the list shows them: this computer's, by the site's clock.
    return ExportItems(core.GetRowItems(), path, core.ClockOffsetNow());
}

}  // namespace bexora
