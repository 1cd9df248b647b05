#include "listview/ui/WarnDlg.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "base/ui/AnsiText.h"

namespace bexora {

CWarnDlg::CWarnDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Item Information");
    setModal(false);
    auto* group = new QGroupBox("Message:", this);
    m_pList = new QListWidget(group);
    m_pList->setSortingEnabled(false);
    m_pList->setAccessibleName("Notices");
    m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_pList);

    m_pTip = new QLabel(kTipText, this);
    m_pOk = new QPushButton("OK", this);
    m_pCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pTip, 1);
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    resize(620, 260);

    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool CWarnDlg::AddMessage(const std::string& text, int level) {
    if (level < m_nLevel) return false;
    m_pList->addItem(FromAnsi(text));
    QFontMetrics metrics(m_pList->font());
    int widest = 0;
    for (int i = 0; i < m_pList->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(m_pList->item(i)->text()));
    m_nExtent = widest + metrics.averageCharWidth();
    // Each line is as wide as the widest, so the list scrolls far enough.
    for (int i = 0; i < m_pList->count(); ++i)
        m_pList->item(i)->setSizeHint(QSize(m_nExtent, metrics.height() + 2));
    m_pList->scrollToBottom();
    show();
    raise();
    update();
    return true;
}

void CWarnDlg::done(int result) {
    for (int i = m_pList->count() - 1; i >= 0; --i) delete m_pList->takeItem(i);
    m_nExtent = 0;
    QDialog::done(result);  // a modeless dialog just hides
    if (m_onCleared) m_onCleared();
}

}  // namespace bexora
