#pragma once
// A stand-in for the item list of a window: rows in order, found by number,
// listed items refreshed with CopyPageFields as the list core does.

#include <memory>
#include <string>
#include <vector>

#include "browser/ItemSink.h"
#include "model/Item.h"

namespace bexora::test {

class CFakeList {
public:
    int FindRow(const std::string& number) const {
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i]->m_strItemNumber == number) return static_cast<int>(i);
        return -1;
    }
    int AddItemIfNew(std::unique_ptr<CItem> item, bool refresh) {
        ++m_nCalls;
        int row = FindRow(item->m_strItemNumber);
        if (row >= 0) {
            if (refresh) m_items[row]->CopyPageFields(*item);
            return 0;
        }
        m_items.push_back(std::move(item));
        return 1;
    }
    CItem* Find(const std::string& number) {
        int row = FindRow(number);
        return row < 0 ? nullptr : m_items[row].get();
    }
    CItem& Add(const std::string& number, const std::string& price = "$1.00") {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = number;
        item->m_strCurrentPrice = price;
        m_items.push_back(std::move(item));
        return *m_items.back();
    }
    std::vector<std::string> Numbers() const {
        std::vector<std::string> out;
        for (const auto& i : m_items) out.push_back(i->m_strItemNumber);
        return out;
    }

    std::vector<std::unique_ptr<CItem>> m_items;
    int m_nCalls = 0;
};

using CFakeSink = CListSink<CFakeList>;

}  // namespace bexora::test
