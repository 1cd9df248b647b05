#pragma once
// "Add a single item": one item number for the list's "Add Single Item".

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace bexora {

class CAddItemDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAddItemDialog(QWidget* parent = nullptr);

    // What was typed, as the user typed it (the caller trims it); set on OK.
    std::string GetText() const { return m_strText; }
    void SetText(const std::string& text);

    QLineEdit* Edit() const { return m_pEdit; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

    void accept() override;

private:
    std::string m_strText;
    QLineEdit* m_pEdit;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};

}  // namespace bexora
