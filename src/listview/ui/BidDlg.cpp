#include "listview/ui/BidDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QPointer>
#include <QVBoxLayout>
#include <memory>

#include "base/ui/BusyWork.h"
#include "base/ui/DialogRunner.h"
#include "base/ui/AnsiText.h"

#include <utility>

namespace bexora {

namespace {
QLabel* LargeStatic(QWidget* parent, int pixelHeight) {
    auto* label = new QLabel(parent);
    QFont font("Arial");
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

QLineEdit* NumberEdit(QWidget* parent, int width = 40) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new QIntValidator(0, 999999, edit));
    edit->setMaximumWidth(width);
    return edit;
}

// Reads a number the C way, whatever the locale: "12.5", not "12,5".
double ReadDouble(const QString& text, bool* ok) {
    return QLocale::c().toDouble(text.trimmed(), ok);
}
// A label whose Alt+letter moves to its field.
QLabel* Buddy(const char* text, QWidget* field) {
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    return label;
}
}  // namespace

CBidDlg::CBidDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(bidtext::kDialogTitle);

    auto* place = new QGroupBox("Place a Bid:", this);
    auto* itemCaption = new QLabel("Item information:", place);
    m_pItemInfo = LargeStatic(place, 20);
    m_pEndTime = LargeStatic(place, 24);
    auto* placeLayout = new QVBoxLayout(place);
    placeLayout->addWidget(itemCaption);
    placeLayout->addWidget(m_pItemInfo);
    placeLayout->addWidget(m_pEndTime);

    auto* timing = new QGroupBox("Bid Time:", this);
    m_pBidNow = new QRadioButton("Bid &now", timing);
    m_pDelay = new QRadioButton("&Time delay bid", timing);
    m_pHours = NumberEdit(timing);
    m_pMinutes = NumberEdit(timing);
    m_pSeconds = NumberEdit(timing);
    m_pSetDefault = new QCheckBox("set as &default bid time", timing);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(m_pDelay);
    delayRow->addWidget(m_pHours);
    delayRow->addWidget(new QLabel("hrs", timing));
    delayRow->addWidget(m_pMinutes);
    delayRow->addWidget(new QLabel("mins", timing));
    delayRow->addWidget(m_pSeconds);
    delayRow->addWidget(new QLabel("secs", timing));
    delayRow->addWidget(new QLabel("before auction ends.", timing));
    delayRow->addStretch();
    auto* timingLayout = new QVBoxLayout(timing);
    timingLayout->addWidget(m_pBidNow);
    timingLayout->addLayout(delayRow);
    timingLayout->addWidget(m_pSetDefault);

    auto* user = new QGroupBox("User information:", this);
    m_pUserName = new QLineEdit(user);
    m_pPass = new QLineEdit(user);
    m_pPass->setEchoMode(QLineEdit::Password);
    m_pConfirm = new QLineEdit(user);
    m_pConfirm->setEchoMode(QLineEdit::Password);
    m_pRemember = new QCheckBox("&Remember my password", user);
    auto* userLayout = new QGridLayout(user);
    userLayout->addWidget(Buddy("&Username:", m_pUserName), 0, 0);
    userLayout->addWidget(m_pUserName, 0, 1);
    userLayout->addWidget(Buddy("&Password:", m_pPass), 1, 0);
    userLayout->addWidget(m_pPass, 1, 1);
    userLayout->addWidget(Buddy("Con&firmed", m_pConfirm), 2, 0);
    userLayout->addWidget(m_pConfirm, 2, 1);
    userLayout->addWidget(m_pRemember, 3, 1);

    auto* price = new QGroupBox("Bid price and quantity:", this);
    m_pMaxBid = new QLineEdit(price);
    m_pMinBid = new QLabel("(Minimum bid $10.95)", price);
    m_pQuantity = NumberEdit(price, 60);
    m_pQuantity->setValidator(nullptr);  // a typed 0 or -1 gets its own message
    auto* priceLayout = new QGridLayout(price);
    priceLayout->addWidget(Buddy("&Max bid:", m_pMaxBid), 0, 0);
    priceLayout->addWidget(m_pMaxBid, 0, 1);
    priceLayout->addWidget(m_pMinBid, 0, 2);
    priceLayout->addWidget(Buddy("&Quantity:", m_pQuantity), 1, 0);
    priceLayout->addWidget(m_pQuantity, 1, 1);

    auto* group = new QGroupBox("Bid till you win:", this);
    m_pEnableGroup = new QCheckBox("Enable &BidGroup, give it a name:", group);
    m_pGroup = new QComboBox(group);
    m_pGroup->setEditable(true);
    m_pGroup->setInsertPolicy(QComboBox::NoInsert);
    m_pGroup->setMinimumWidth(180);
    auto* groupHelp = new QLabel(
        "You can put differnt items into same bid group. The bid will stop until you win the first a "
        "few items specified in the quantity field",
        group);
    groupHelp->setWordWrap(true);
    auto* groupLayout = new QGridLayout(group);
    groupLayout->addWidget(m_pEnableGroup, 0, 0);
    groupLayout->addWidget(m_pGroup, 0, 1);
    groupLayout->addWidget(groupHelp, 1, 0, 1, 2);

    m_pOk = new QPushButton("OK", this);
    m_pOk->setDefault(true);
    m_pCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);

    // Names of their own for screen readers: without them each edit took its
    // group box's title ("Bid Time:" three times, "User information:" for
    // the user, the password and its confirmation).
    const std::pair<QWidget*, const char*> names[] = {
        {m_pHours, "Hours before the end"},
        {m_pMinutes, "Minutes before the end"},
        {m_pSeconds, "Seconds before the end"},
        {m_pUserName, "Username"},
        {m_pPass, "Password"},
        {m_pConfirm, "Password again"},
        {m_pMaxBid, "Maximum bid"},
        {m_pQuantity, "Quantity"},
        {m_pGroup, "Bid group name"},
    };
    for (const auto& [widget, name] : names) widget->setAccessibleName(name);
    m_pMaxBid->setAccessibleDescription("The most you will pay; the site bids for you up to it");
    m_pGroup->setAccessibleDescription("Items in one group are bid on until the quantity is won");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(place);
    layout->addWidget(timing);
    layout->addWidget(user);
    layout->addWidget(price);
    layout->addWidget(group);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connect(m_pOk, &QPushButton::clicked, this, &CBidDlg::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pBidNow, &QRadioButton::clicked, this, [this] { OnModeClicked(false); });
    connect(m_pDelay, &QRadioButton::clicked, this, [this] { OnModeClicked(true); });
    auto edited = [this] {
        if (m_bLoading) return;
        ReadControls();
        UpdateOkButton();
    };
    connect(m_pUserName, &QLineEdit::textEdited, this, edited);
    connect(m_pPass, &QLineEdit::textEdited, this, edited);
    connect(m_pConfirm, &QLineEdit::textEdited, this, edited);
    connect(m_pEnableGroup, &QCheckBox::clicked, this, &CBidDlg::OnEnableGroupClicked);
    connect(m_pGroup, &QComboBox::activated, this, &CBidDlg::OnGroupSelected);
}

void CBidDlg::Preset(const BidDialogValues& values, const CBidGroupList& groups) {
    m_values = values;
    m_pGroups = &groups;
    m_bLoading = true;
    m_pItemInfo->setText(FromAnsi(values.m_strItemInfo));
    m_pEndTime->setText(FromAnsi(values.m_strEndTimeText));
    m_pMinBid->setText(FromAnsi(values.m_strMinBidText));
    (values.m_nMode == 0 ? m_pBidNow : m_pDelay)->setChecked(true);
    m_pHours->setText(QString::number(values.m_nHours));
    m_pMinutes->setText(QString::number(values.m_nMinutes));
    m_pSeconds->setText(QString::number(values.m_nSeconds));
    // The delay edits start enabled whatever the mode; the radios switch them.
    for (QLineEdit* e : {m_pHours, m_pMinutes, m_pSeconds}) e->setEnabled(true);
    m_pSetDefault->setChecked(values.m_bSetDefault);
    m_pUserName->setText(FromAnsi(values.m_strUserName));
    m_pPass->setText(FromAnsi(values.m_strPass));
    m_pConfirm->setText(FromAnsi(values.m_strConfirm));
    m_pRemember->setChecked(values.m_bRememberPassword);
    m_pMaxBid->setText(QLocale::c().toString(values.m_fMaxBid, 'f', 2));
    m_pQuantity->setText(QString::number(values.m_nQuantity));
    m_pEnableGroup->setChecked(values.m_bEnableGroup);
    m_pGroup->clear();
    for (const std::string& name : values.m_groupNames) m_pGroup->addItem(FromAnsi(name));
    m_pGroup->setEditText(FromAnsi(values.m_strGroupName));
    m_pGroup->setEnabled(values.m_bEnableGroup);
    m_pQuantity->setEnabled(values.m_bEnableGroup);
    m_bLoading = false;
    UpdateOkButton();
    // The keyboard starts where a bid starts, the maximum, selected for typing over.
    if (values.m_bEnableGroup && values.m_strGroupName == bidtext::kGroupPlaceholder) {
        m_pGroup->setFocus();
    } else {
        m_pMaxBid->setFocus();
        m_pMaxBid->selectAll();
    }
}

bool CBidDlg::DoModal(BidDialogValues& values, const CBidGroupList& groups) {
    Preset(values, groups);
    if (ExecDialog(*this) != QDialog::Accepted) return false;
    values = m_values;
    return true;
}

void CBidDlg::ReadControls() {
    m_values.m_nMode = m_pDelay->isChecked() ? 1 : 0;
    m_values.m_nHours = m_pHours->text().toInt();
    m_values.m_nMinutes = m_pMinutes->text().toInt();
    m_values.m_nSeconds = m_pSeconds->text().toInt();
    m_values.m_bSetDefault = m_pSetDefault->isChecked();
    m_values.m_strUserName = ToAnsi(m_pUserName->text());
    m_values.m_strPass = ToAnsi(m_pPass->text());
    m_values.m_strConfirm = ToAnsi(m_pConfirm->text());
    m_values.m_bRememberPassword = m_pRemember->isChecked();
    bool ok = false;
    double maxBid = ReadDouble(m_pMaxBid->text(), &ok);
    // Something that is no number at all is refused like one out of range.
    m_values.m_fMaxBid = ok ? maxBid : -1.0;
    bool qtyOk = false;
    int quantity = m_pQuantity->text().trimmed().toInt(&qtyOk);
    m_values.m_nQuantity = qtyOk ? quantity : 0;
    m_values.m_bEnableGroup = m_pEnableGroup->isChecked();
    m_values.m_strGroupName = ToAnsi(m_pGroup->currentText());
}

void CBidDlg::UpdateOkButton() {
    // One rule for all three fields: whichever was edited last, OK needs a
    // user name and a password that the confirmation repeats.
    m_pOk->setEnabled(BidDialogOkEnabled(m_values));
}

void CBidDlg::ShowQuantity() { m_pQuantity->setText(QString::number(m_values.m_nQuantity)); }

void CBidDlg::OnModeClicked(bool delay) {
    ReadControls();
    for (QLineEdit* e : {m_pHours, m_pMinutes, m_pSeconds}) e->setEnabled(delay);
}

void CBidDlg::OnEnableGroupClicked(bool on) {
    ReadControls();
    m_values.m_bEnableGroup = on;
    m_pGroup->setEnabled(on);
    m_pQuantity->setEnabled(on);
    if (m_pGroups) bexora::OnEnableGroupClicked(m_values, *m_pGroups, on);
    else if (!on) m_values.m_nQuantity = 1;
    ShowQuantity();
    if (on && m_values.m_strGroupName == bidtext::kGroupPlaceholder) m_pGroup->setFocus();
}

void CBidDlg::OnGroupSelected(int index) {
    if (index < 0) return;
    ReadControls();
    if (m_pGroups) {
        bexora::OnGroupSelected(m_values, *m_pGroups, index);
    } else {
        m_values.m_nGroupSel = index;
        m_values.m_strGroupName = ToAnsi(m_pGroup->itemText(index));
    }
    ShowQuantity();
}

void CBidDlg::accept() {
    ReadControls();
    if (!CheckBidDialogOk(m_values)) {
        const std::string why = BidDialogRefusal(m_values) ? BidDialogRefusal(m_values) : "";
        if (why == std::string(bidtext::kNoGroupName)) m_pGroup->setFocus();
        else if (why == std::string(bidtext::kNoQuantity)) m_pQuantity->setFocus();
        else if (why == std::string(bidtext::kMaxBidRange)) m_pMaxBid->setFocus();
        else m_pPass->setFocus();
        return;
    }
    QDialog::accept();
}

bool ReadBidPage(QWidget* parent, CItem& copy, const BidRefreshFn& refresh, bool& ok) {
    // Shared with the worker, which may outlive this call after a Cancel.
    struct Read {
        CItem item;
        BidRefreshFn refresh;
        bool ok = false;
    };
    auto read = std::make_shared<Read>(Read{copy, refresh, false});
    if (!RunWithBusyIndicator(parent, bidtext::kDialogTitle, kReadingBidPageText, [read] {
            read->ok = read->refresh ? read->refresh(read->item) : read->item.UpdateFromSite();
        }))
        return false;
    copy = read->item;
    ok = read->ok;
    return true;
}

}  // namespace bexora
