#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MainFrame.h"
#include "app/ToolBarIcons.h"
#include "site/SiteEndpoints.h"

namespace bexora {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Bexora");
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(48, 48));
    auto* name = new QLabel("<b>Bexora</b>", this);
    auto* version = new QLabel(kVersionText, this);
    auto* copyright = new QLabel("Copyright (C) Halvane Co.", this);
    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(copyright);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    m_pOnline = buttons->addButton("&Online", QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pOnline, &QPushButton::clicked, this, [] { CMainFrame::s_openUrl(site::VendorUrl()); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

}  // namespace bexora
