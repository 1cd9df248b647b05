#pragma once
// Printing the item list as a table: the shown columns in their order with
// their headings, every row with its cells' texts on a light version of its
// row colour, long texts cut to the column with "...", the document title at
// the top of each page and "Page %d of %d" centred at its foot.

#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QRectF;

namespace bexora {

class CebayListView;

// Prints to printer; returns the number of pages printed (0 when the
// printer could not be opened).
int PrintList(CebayListView& view, QPrinter& printer);

// The same pages on any painter: page after page into pageRect (in the
// painter's coordinates), calling newPage between two pages; newPage
// returning false ends the printing there. Returns the pages painted.
int PaintListPages(CebayListView& view, QPainter& painter, const QRectF& pageRect,
                   const std::function<bool()>& newPage);

// "&Print...": the print dialog (through ExecDialog), then PrintList.
// printer: the program's printer with the user's print set-up (nullptr: a
// new one with the program's defaults).
void OnListFilePrint(CebayListView& view, QPrinter* printer = nullptr);
// "Print Preview": the preview dialog through ExecDialog.
void OnListFilePrintPreview(CebayListView& view, QPrinter* printer = nullptr);

// The program's default printer settings: landscape.
std::unique_ptr<QPrinter> NewLandscapePrinter();

// The text shown when the printer could not be opened.
constexpr const char* kPrintFailedText = "The item list could not be printed.";

}  // namespace bexora
