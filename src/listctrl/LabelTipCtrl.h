#pragma once
// The label tip: a shadowless tip laid exactly over a cut-off cell, showing
// the cell's whole text in the list's font. It appears at once (no initial or
// reshow delay) and lets every mouse event through to the list below.

#include <QLabel>

namespace bexora {

class CLabelTipCtrl : public QLabel {
    Q_OBJECT
public:
    explicit CLabelTipCtrl(QWidget* list);

    // Shows text with its text area starting at the cell's text rectangle
    // (global coordinates); the tip grows to the right to fit the text.
    void ShowOver(const QRect& globalTextRect, const QString& text, const QFont& font);
    void HideTip();
    // The cell the tip is shown for (row, column), -1 when hidden.
    int TipRow() const { return m_nRow; }
    int TipColumn() const { return m_nCol; }
    void SetTipCell(int row, int col) { m_nRow = row; m_nCol = col; }

private:
    int m_nRow = -1;
    int m_nCol = -1;
};

}  // namespace bexora
