#pragma once
// "About Bexora": the program's name and version, and "&Online", which
// opens the maker's site.

#include <QDialog>

#include "base/Version.h"

class QPushButton;

namespace bexora {

constexpr const char* kVersionText = "Version " BEXORA_VERSION_TEXT;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QPushButton* OnlineButton() const { return m_pOnline; }

private:
    QPushButton* m_pOnline;
};

}  // namespace bexora
