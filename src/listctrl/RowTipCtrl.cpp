#include "listctrl/RowTipCtrl.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace bexora {

namespace {
// Long notes need reading time; the tip still goes away by itself.
constexpr int kAutoPopMs = 20000;
}

CRowTipCtrl::CRowTipCtrl(QWidget* list)
    : QFrame(list, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Background());
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    m_pIcon = new QLabel(this);
    m_pIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    m_pTitle = new QLabel(this);
    m_pTitle->setTextFormat(Qt::PlainText);
    QFont bold = m_pTitle->font();
    bold.setBold(true);
    m_pTitle->setFont(bold);
    m_pText = new QLabel(this);
    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setWordWrap(true);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 5, 6, 6);
    grid->setHorizontalSpacing(5);
    grid->setVerticalSpacing(4);
    grid->addWidget(m_pIcon, 0, 0);
    grid->addWidget(m_pTitle, 0, 1);
    grid->addWidget(m_pText, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    m_pAutoPop = new QTimer(this);
    m_pAutoPop->setSingleShot(true);
    connect(m_pAutoPop, &QTimer::timeout, this, &CRowTipCtrl::HideTip);
}

void CRowTipCtrl::ShowTip(const QPoint& globalPos, const QString& title, const QString& text) {
    m_pTitle->setText(title);
    m_pTitle->setVisible(!title.isEmpty());
    m_pIcon->setVisible(!title.isEmpty());
    m_pText->setText(text);
    // The text wraps at 200 pixels; a shorter text keeps its own width. A
    // word wider than that is broken wherever it must.
    QFontMetrics fm(m_pText->font());
    QRect bound = fm.boundingRect(QRect(0, 0, kMaxTextWidth, 100000),
                                  Qt::TextWordWrap | Qt::TextWrapAnywhere, text);
    m_pText->setFixedWidth(std::min(kMaxTextWidth, bound.width() + 1));
    m_pText->setFixedHeight(m_pText->heightForWidth(m_pText->width()));
    layout()->activate();
    adjustSize();

    QPoint pos = globalPos + QPoint(0, 20);
    if (QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        QRect avail = screen->availableGeometry();
        if (pos.x() + width() > avail.right()) pos.setX(std::max(avail.left(), avail.right() - width()));
        if (pos.y() + height() > avail.bottom()) pos.setY(std::max(avail.top(), globalPos.y() - height() - 4));
    }
    move(pos);
    show();
    m_pAutoPop->start(kAutoPopMs);
}

void CRowTipCtrl::HideTip() {
    m_nRow = -1;
    m_pAutoPop->stop();
    hide();
}

QString CRowTipCtrl::Title() const { return m_pTitle->text(); }
QString CRowTipCtrl::Text() const { return m_pText->text(); }

}  // namespace bexora
