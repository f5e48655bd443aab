#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "gui/control_binding.h"
#include "gui/station_icon.h"

namespace sked {

AboutDialog::AboutDialog(std::function<std::vector<std::string>()> listing, QWidget* parent)
    : QDialog(parent), listing_(std::move(listing)) {
    setWindowTitle("About Skedcast");
    setModal(true);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(fixed);

    auto* icon = new QLabel;
    icon->setPixmap(StationIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel("Skedcast\n"
                            "Unattended teleprinter broadcast station\n"
                            "RTTY, PSK31 and CW on schedule");
    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addWidget(text, 1);

    list_ = new QListWidget;
    list_->setObjectName("aboutList");
    list_->setFont(fixed);
    // Room for the widest line of the listing without a horizontal scroll.
    list_->setMinimumSize(QFontMetrics(fixed).horizontalAdvance(QString(46, 'M')), 300);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
}

void AboutDialog::showEvent(QShowEvent* event) {
    // Filled at every opening, from empty: the listing never doubles.
    list_->clear();
    for (const std::string& line : listing_()) list_->addItem(ToQt(line));
    QDialog::showEvent(event);
}

}  // namespace sked
