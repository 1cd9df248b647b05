#include "listctrl/LabelTipCtrl.h"

#include <QGuiApplication>
#include <QScreen>

namespace bexora {

namespace {
constexpr int kPad = 2;  // room between the tip's border and its text
}

CLabelTipCtrl::CLabelTipCtrl(QWidget* list)
    : QLabel(list, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                       Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setTextFormat(Qt::PlainText);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setMargin(kPad - 1);
    setAutoFillBackground(true);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
}

void CLabelTipCtrl::ShowOver(const QRect& globalTextRect, const QString& text, const QFont& font) {
    setFont(font);
    setText(text);
    QFontMetrics fm(font);
    int inset = kPad + lineWidth() - 1;
    QSize size(fm.horizontalAdvance(text) + 2 * inset + 2,
               std::max(globalTextRect.height(), fm.height() + 2 * inset));
    QPoint topLeft(globalTextRect.left() - inset - 1,
                   globalTextRect.top() + (globalTextRect.height() - size.height()) / 2);
    // Keep it on the screen the cell is on.
    if (QScreen* screen = QGuiApplication::screenAt(globalTextRect.center())) {
        QRect avail = screen->availableGeometry();
        if (topLeft.x() + size.width() > avail.right())
            topLeft.setX(std::max(avail.left(), avail.right() - size.width()));
    }
    setGeometry(QRect(topLeft, size));
    show();
}

void CLabelTipCtrl::HideTip() {
    m_nRow = m_nCol = -1;
    hide();
}

}  // namespace bexora
