#include "ui/UserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace marlinq::ui {

void QtUserDialogs::showMessage(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Marlinq Solver"), text);
}

QString QtUserDialogs::getOpenFileName(QWidget* parent, const QString& title, const QString& directory,
                                       const QString& filter, const QString& selectedFilter) {
    QString selected = selectedFilter;
    return QFileDialog::getOpenFileName(parent, title, directory, filter, &selected);
}

QString QtUserDialogs::getSaveFileName(QWidget* parent, const QString& title, const QString& directory,
                                       const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, directory, filter);
}

namespace {
std::shared_ptr<UserDialogs>& current() {
    static std::shared_ptr<UserDialogs> dialogs = std::make_shared<QtUserDialogs>();
    return dialogs;
}
}  // namespace

std::shared_ptr<UserDialogs> userDialogs() { return current(); }

void setUserDialogs(std::shared_ptr<UserDialogs> dialogs) {
    current() = dialogs ? std::move(dialogs) : std::make_shared<QtUserDialogs>();
}

}  // namespace marlinq::ui
