// The About box: the program's icon, three lines about it, and the list of
// the station's present settings, its command line, the port table, the
// schedule's commands and the text macros.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QDialog>

class QListWidget;

namespace sked {

class AboutDialog : public QDialog {
public:
    // `listing` gives the lines as they are at the moment the box opens.
    AboutDialog(std::function<std::vector<std::string>()> listing, QWidget* parent);

    QListWidget* list() const { return list_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<std::vector<std::string>()> listing_;
    QListWidget* list_;
};

}  // namespace sked
