#include "browser/AddMethodDialog.h"

#include "base/Settings.h"

namespace bexora {

int ChooseAddMethod(IAddMethodDialog* dialog) {
    CSettingsStore& s = Settings();
    AddSelection values;
    values.m_bSaveDefault = s.GetInt(setting::AddSaveDefault);
    values.m_nMethod = values.m_bSaveDefault == 1 ? s.GetInt(setting::AddSel) : kAddFast;
    values.m_bDoNotShow = s.GetInt(setting::AddShowWindow);
    if (values.m_bDoNotShow != 0 || !dialog) return values.m_nMethod;

    if (!dialog->DoModal(values)) return kAddNone;
    // A settings file that cannot be written still lets this add go ahead
    // with the choice just made.
    s.WriteInt(setting::AddSel, values.m_nMethod);
    s.WriteInt(setting::AddSaveDefault, values.m_bSaveDefault);
    s.WriteInt(setting::AddShowWindow, values.m_bDoNotShow);
    return values.m_nMethod;
}

}  // namespace bexora
