#include "browser/ui/AddItemDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ui/AnsiText.h"

namespace bexora {

CAddItemDialog::CAddItemDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Add a single item");
    auto* group = new QGroupBox("Add an item by its item number:", this);
    m_pEdit = new QLineEdit(group);
    m_pEdit->setAccessibleName("Item number");
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel("Item number:", group));
    row->addWidget(m_pEdit, 1);

    m_pOk = new QPushButton("OK", this);
    m_pOk->setDefault(true);
    m_pCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    m_pEdit->setFocus();

    connect(m_pOk, &QPushButton::clicked, this, &CAddItemDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CAddItemDialog::SetText(const std::string& text) {
    m_strText = text;
    m_pEdit->setText(FromAnsi(text));
}

void CAddItemDialog::accept() {
    m_strText = ToAnsi(m_pEdit->text());
    QDialog::accept();
}

}  // namespace bexora
