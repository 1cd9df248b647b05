#pragma once
// "Export to Excel" (command 32779): the list's rows as a tab-separated text
// that a spreadsheet opens, one line per row in the list's order after a
// header line, CR LF line ends, no quoting. The save-as dialog belongs to the
// front end (titles below); the core takes the chosen path as it is (no
// extension is added).
//
// UI thread only.

#include <string>
#include <vector>

#include "model/Item.h"

namespace bexora {

class CItemListCore;

namespace exporttext {
constexpr const char* kDialogTitle = "Export to xls file";
constexpr const char* kFilterName = "Excel Files(*.xls)";
constexpr const char* kFilterPattern = "*.xls";
// %1 is the file, %2 the reason.
constexpr const char* kWriteFailed = "Cannot write the export file %1.\n%2";
}  // namespace exporttext

// The end time as the export writes it: a local instant as local date and
// time ("%x %X"); empty for an item without an end time or when the
// conversion fails.
std::string ExportEndTime(int64_t endTime);

// The whole file: the header, then one line per item in the given order;
// offset turns the items' end times into local instants (the list's clock
// offset, as the rows show them).
std::string ExportText(const std::vector<CItem*>& items, int64_t offset);

// Writes the text of items to path (replacing it, atomically). A file that
// cannot be written is reported through ShowPrompt with its name and the
// reason; false then.
bool ExportItems(const std::vector<CItem*>& items, const std::string& path, int64_t offset);

// The command on the list's rows in their current order, to the path the
// front end's save-as dialog gave (empty: cancelled, nothing is done).
bool OnExport(CItemListCore& core, const std::string& path);

}  // namespace bexora
