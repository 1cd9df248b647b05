#pragma once
// "Select the way to add item": fast or slow adding from a listing page.
// The caller fills the three fields; OK hands back the user's choices.

#include <QDialog>

#include "browser/AddMethodDialog.h"

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace bexora {

class CAddSelection : public QDialog, public IAddMethodDialog {
    Q_OBJECT
public:
    explicit CAddSelection(QWidget* parent = nullptr);

    // Shows values; true on OK with values holding the choices, false when
    // closed any other way (values untouched).
    bool DoModal(AddSelection& values) override;

    void SetValues(const AddSelection& values);
    AddSelection GetValues() const;

    QRadioButton* FastButton() const { return m_pFast; }
    QRadioButton* SlowButton() const { return m_pSlow; }
    QCheckBox* SaveDefaultBox() const { return m_pSaveDefault; }
    QCheckBox* DoNotShowBox() const { return m_pDoNotShow; }
    QPushButton* OkButton() const { return m_pOk; }

private:
    QRadioButton* m_pFast;
    QRadioButton* m_pSlow;
    QCheckBox* m_pSaveDefault;
    QCheckBox* m_pDoNotShow;
    QPushButton* m_pOk;
};

}  // namespace bexora
