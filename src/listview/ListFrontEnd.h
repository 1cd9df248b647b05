#pragma once
// API settled.
//
// What the item list's core needs from whoever shows it: the Qt list view
// and bexora-cli implement this. Every call comes on the UI thread. The core
// keeps the rows, their 13 cell texts, images and the selection; a front end
// repaints from CItemListCore's accessors when told a row changed.

#include <cstdint>
#include <string>

namespace bexora {

// A row background as red, green, blue.
struct RowColour {
    uint8_t r = 255, g = 255, b = 255;
    bool operator==(const RowColour&) const = default;
};

class IListFrontEnd {
public:
    virtual ~IListFrontEnd() = default;

    // Row row's cells, image or colour may have changed: repaint it.
    // Negative rows are never passed.
    virtual void RedrawRow(int /*row*/) {}
    // One cell's text changed (already stored in the core). The tick writes
    // the "Time left" cell this way; a front end may repaint just that cell.
    virtual void CellChanged(int row, int /*col*/) { RedrawRow(row); }
    // Rows were added, removed or reordered, or the selection changed:
    // re-read the whole list.
    virtual void RowsChanged() {}
    // Pane 4 of the main window's status bar.
    virtual void SetStatusText(const std::string& /*text*/) {}
    // Whether the frame holding this list is the active child frame (the
    // countdown status text is shown only then).
    virtual bool IsActiveFrame() { return true; }
    // Show url in the browser pane of the same frame (no history, no cache).
    virtual void Navigate(const std::string& /*url*/) {}
    // A tray balloon; a front end without a tray icon drops it.
    virtual void ShowBalloon(const std::string& /*title*/, const std::string& /*text*/) {}
    // The same balloon with what a desktop notification needs besides: the
    // item it is about ("" for none) and the level of its notice (0 to 3).
    // Front ends that do not send notifications keep the default.
    virtual void ShowItemBalloon(const std::string& title, const std::string& text,
                                 const std::string& /*itemNumber*/, int /*level*/) {
        ShowBalloon(title, text);
    }
    // Progress of a batch of refreshes (Update All, Update Selected, the
    // automatic update): done of total answered. Called after each answer;
    // done == total ends the batch.
    virtual void ShowProgress(int /*done*/, int /*total*/) {}
    // A notice passed the filter and was appended to the notice log: show
    // the notice window.
    virtual void NoticeAdded(const std::string& /*text*/, int /*level*/) {}
};

}  // namespace bexora
