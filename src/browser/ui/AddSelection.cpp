#include "browser/ui/AddSelection.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/ui/DialogRunner.h"

namespace bexora {

namespace {
QLabel* Explanation(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setContentsMargins(20, 0, 0, 6);
    return label;
}
}  // namespace

CAddSelection::CAddSelection(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select the way to add item");
    auto* group = new QGroupBox("Add items:", this);
    m_pFast = new QRadioButton("Use fast item add", group);
    m_pSlow = new QRadioButton("Use slow item add", group);
    auto* g = new QVBoxLayout(group);
    g->addWidget(m_pFast);
    g->addWidget(Explanation(
        "Fast add adds information for the item from within the page. It uses less time, however "
        "the information may not be up to date. It is recommended, especially when you have slow "
        "internet connection. You can update the item later in the list view.",
        group));
    g->addWidget(m_pSlow);
    g->addWidget(Explanation(
        "Slow add goes through each of the item pages, therefore uses more time. The information is "
        "accurate. If you have slow internet connection, do not use this option.",
        group));

    m_pSaveDefault = new QCheckBox("Save my selection as default", this);
    m_pDoNotShow = new QCheckBox("Do not show this window again", this);
    m_pOk = new QPushButton("OK", this);
    m_pOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_pSaveDefault);
    layout->addWidget(m_pDoNotShow);
    layout->addLayout(buttons);
    // The explanations wrap: the window is as tall as their lines are in
    // the desktop's font (a fixed height cut them off in a large one).
    resize(440, std::max(300, heightForWidth(440)));
    SetValues(AddSelection{});

    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
}

void CAddSelection::SetValues(const AddSelection& values) {
    (values.m_nMethod == kAddFast ? m_pFast : m_pSlow)->setChecked(true);
    m_pSaveDefault->setChecked(values.m_bSaveDefault != 0);
    m_pDoNotShow->setChecked(values.m_bDoNotShow != 0);
}

AddSelection CAddSelection::GetValues() const {
    AddSelection values;
    values.m_nMethod = m_pFast->isChecked() ? kAddFast : kAddSlow;
    values.m_bSaveDefault = m_pSaveDefault->isChecked() ? 1 : 0;
    values.m_bDoNotShow = m_pDoNotShow->isChecked() ? 1 : 0;
    return values;
}

bool CAddSelection::DoModal(AddSelection& values) {
    SetValues(values);
    if (ExecDialog(*this) != QDialog::Accepted) return false;
    values = GetValues();
    return true;
}

}  // namespace bexora
