#pragma once
// The row tip: a balloon with a title beside the information icon and the
// owner's text under it, wrapped at 200 pixels, on a pale green ground.

#include <QFrame>

class QLabel;
class QTimer;

namespace bexora {

class CRowTipCtrl : public QFrame {
    Q_OBJECT
public:
    static constexpr int kMaxTextWidth = 200;
    static QColor Background() { return QColor(228, 247, 228); }

    explicit CRowTipCtrl(QWidget* list);

    // Shows the tip with its top-left corner near globalPos.
    void ShowTip(const QPoint& globalPos, const QString& title, const QString& text);
    void HideTip();

    QString Title() const;
    QString Text() const;
    int TipRow() const { return m_nRow; }
    void SetTipRow(int row) { m_nRow = row; }

private:
    QLabel* m_pIcon;
    QLabel* m_pTitle;
    QLabel* m_pText;
    QTimer* m_pAutoPop;
    int m_nRow = -1;
};

}  // namespace bexora
