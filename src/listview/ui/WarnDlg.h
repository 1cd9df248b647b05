#pragma once
// "Item Information": the modeless window that collects the item list's
// notices. A notice that passes the filter is appended and the window shows
// itself; OK or Cancel empty it and hide it until the next notice.

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QPushButton;

namespace bexora {

class CWarnDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTipText =
        "Tip: You can control the level of message displayed from \" Tools->Options->Messages\".";

    explicit CWarnDlg(QWidget* parent = nullptr);

    void SetLevel(int level) { m_nLevel = level; }
    int GetLevel() const { return m_nLevel; }
    // Appends text when level reaches the filter, widens the scroll extent
    // to the widest line and shows the window. False when filtered out.
    bool AddMessage(const std::string& text, int level);
    // Called after OK or Cancel emptied the window (the list's notice log
    // empties itself with it).
    void SetOnCleared(std::function<void()> onCleared) { m_onCleared = std::move(onCleared); }

    QListWidget* List() const { return m_pList; }
    int GetHorizontalExtent() const { return m_nExtent; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

    void done(int result) override;

private:
    QListWidget* m_pList;
    QLabel* m_pTip;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    int m_nLevel = 0;
    int m_nExtent = 0;
    std::function<void()> m_onCleared;
};

}  // namespace bexora
