#pragma once
// "Add a Note:": the free-text note of one item. Enter starts a new line;
// "Clear" empties the note at once, so Clear followed by Cancel still
// removes it.

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace bexora {

class CNoteDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNoteDlg(QWidget* parent = nullptr);

    // Takes the note with line feeds and blanks trimmed from its right end;
    // the edit field starts with it.
    void SetNote(const std::string& note);
    // The note with CR and LF trimmed from both ends.
    std::string GetNote() const;

    QPlainTextEdit* Edit() const { return m_pEdit; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* ClearButton() const { return m_pClear; }
    QPushButton* CancelButton() const { return m_pCancel; }

    void OnClear();
    void accept() override;  // OK: the edit field's text becomes the note

private:
    std::string m_strNote;
    QPlainTextEdit* m_pEdit;
    QPushButton* m_pOk;
    QPushButton* m_pClear;
    QPushButton* m_pCancel;
};

}  // namespace bexora
