#pragma once
// "Select the way to add item": how the items of a listing page are taken,
// fast (from the page's own text) or slow (each item's page is visited).
// The dialog is the front end's; this is what it shows and returns, and the
// "Add Selection" settings logic around it.

#include <cstdint>

namespace bexora {

constexpr int kAddFast = 0;
constexpr int kAddSlow = 1;
// The dialog was dismissed (Escape, Cancel, the close button): nothing is added.
constexpr int kAddNone = -1;

// The dialog's three fields; on its own it starts with the slow add and both
// boxes clear.
struct AddSelection {
    int32_t m_nMethod = kAddSlow;  // radio value: kAddFast or kAddSlow
    int32_t m_bSaveDefault = 0;    // "Save my selection as default"
    int32_t m_bDoNotShow = 0;      // "Do not show this window again"
};

class IAddMethodDialog {
public:
    virtual ~IAddMethodDialog() = default;
    // Shows the dialog with values filled in; true on OK with values holding
    // the user's choices, false when closed any other way.
    virtual bool DoModal(AddSelection& values) = 0;
};

// The method for a listing page: the preselected one ("AddSel" when "Save
// default" is 1, else fast), offered in the dialog unless "Show Window" says
// it is not to be shown. OK writes the dialog's three fields back to the
// settings and its method is used; no dialog to show keeps the preselected
// method; a dismissed dialog writes nothing and gives kAddNone (the user
// said no to the add).
int ChooseAddMethod(IAddMethodDialog* dialog);

}  // namespace bexora
