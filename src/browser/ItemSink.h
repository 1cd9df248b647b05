#pragma once
// What the browser pane needs of the item list of its own window: append an
// item unless its number is listed already, and refresh a listed item from a
// page the user opened. The list core implements the operations; CListSink
// below adapts any list object that has them, so this library never links
// the list's.

#include <concepts>
#include <memory>
#include <string>

#include "model/Item.h"

namespace bexora {

class IItemSink {
public:
    virtual ~IItemSink() = default;

    // -1: the window's list cannot be found (item dropped);
    //  0: an item with the same m_strItemNumber is listed (with refresh set
    //     it takes item's page fields and its row is redrawn; item dropped);
    //  1: item became the last row and the list owns it.
    virtual int AddItemIfNew(std::unique_ptr<CItem> item, bool refresh) = 0;

    // Viewing a listed item's page: when an item with this number is listed
    // it takes the page fields and its row is redrawn. Nothing is added.
    // True when a listed item was refreshed.
    virtual bool RefreshIfListed(const CItem& page) {
        (void)page;
        return false;
    }
};

// Adapts a list object (the list core, or a test double) that offers
// AddItemIfNew(std::unique_ptr<CItem>, bool) and, optionally, FindRow(number).
// A null list is a window whose list cannot be found.
template <class List>
class CListSink : public IItemSink {
public:
    explicit CListSink(List* list) : m_pList(list) {}

    int AddItemIfNew(std::unique_ptr<CItem> item, bool refresh) override {
        if (!m_pList) return -1;
        return m_pList->AddItemIfNew(std::move(item), refresh);
    }

    // A listed number is refreshed through the list's own AddItemIfNew with
    // refresh set (which never adds a listed number).
    bool RefreshIfListed(const CItem& page) override {
        if constexpr (requires(List & l, const std::string& n) {
                          { l.FindRow(n) } -> std::convertible_to<int>;
                      }) {
            if (!m_pList || m_pList->FindRow(page.m_strItemNumber) < 0) return false;
            auto copy = std::make_unique<CItem>(page);
            return m_pList->AddItemIfNew(std::move(copy), true) == 0;
        } else {
            return false;
        }
    }

private:
    List* m_pList;
};

}  // namespace bexora
