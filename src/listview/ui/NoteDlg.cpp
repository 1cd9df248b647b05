#include "listview/ui/NoteDlg.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ui/AnsiText.h"

namespace bexora {

CNoteDlg::CNoteDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Add a Note:");
    m_pEdit = new QPlainTextEdit(this);
    m_pEdit->setTabChangesFocus(true);
    m_pEdit->setAccessibleName("Note");
    m_pOk = new QPushButton("OK", this);
    m_pClear = new QPushButton("Clear", this);
    m_pCancel = new QPushButton("Cancel", this);
    // Enter belongs to the edit field: no button is the default.
    for (QPushButton* b : {m_pOk, m_pClear, m_pCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pClear);
    buttons->addWidget(m_pCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pEdit);
    layout->addLayout(buttons);
    resize(360, 220);

    connect(m_pOk, &QPushButton::clicked, this, &CNoteDlg::accept);
    connect(m_pClear, &QPushButton::clicked, this, &CNoteDlg::OnClear);
    connect(m_pCancel, &QPushButton::clicked, this, &CNoteDlg::reject);
}

void CNoteDlg::SetNote(const std::string& note) {
    size_t end = note.find_last_not_of("\n ");
    m_strNote = end == std::string::npos ? std::string() : note.substr(0, end + 1);
    // The edit field shows Windows line ends as plain new lines.
    QString shown = FromAnsi(m_strNote);
    shown.replace("\r\n", "\n");
    m_pEdit->setPlainText(shown);
}

std::string CNoteDlg::GetNote() const {
    size_t first = m_strNote.find_first_not_of("\r\n");
    if (first == std::string::npos) return {};
    size_t last = m_strNote.find_last_not_of("\r\n");
    return m_strNote.substr(first, last - first + 1);
}

void CNoteDlg::OnClear() {
    m_strNote.clear();
    m_pEdit->clear();
}

void CNoteDlg::accept() {
    // Stored the way the .bid files have always held it: CR LF line ends.
    QString text = m_pEdit->toPlainText();
    text.replace("\n", "\r\n");
    m_strNote = ToAnsi(text);
    QDialog::accept();
}

}  // namespace bexora
