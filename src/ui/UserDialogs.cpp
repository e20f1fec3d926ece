#include "ui/UserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace marlinq::ui {

void QtUserDialogs::showMessage(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Marlinq Solver"), text);
}

UserDialogs::LargeFileChoice QtUserDialogs::askLargeFile(QWidget* parent, const QString& text,
                                                        const QString& shortForm) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Marlinq Solver"), text, QMessageBox::NoButton, parent);
    QPushButton* save = box.addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
    QPushButton* shorter = box.addButton(shortForm, QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(shorter);
    box.exec();
    if (box.clickedButton() == save) return LargeFileChoice::Save;
    if (box.clickedButton() == shorter) return LargeFileChoice::ShortForm;
    return LargeFileChoice::Cancel;
}

UserDialogs::ResumeChoice QtUserDialogs::askResumeSweep(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Marlinq Solver"), text, QMessageBox::NoButton, parent);
    QPushButton* resume = box.addButton(QStringLiteral("Resume"), QMessageBox::AcceptRole);
    QPushButton* over = box.addButton(QStringLiteral("Start over"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(resume);
    box.exec();
    if (box.clickedButton() == resume) return ResumeChoice::Resume;
    if (box.clickedButton() == over) return ResumeChoice::StartOver;
    return ResumeChoice::Cancel;
}

QString QtUserDialogs::getOpenFileName(QWidget* parent, const QString& title, const QString& directory,
                                       const QString& filter, const QString& selectedFilter) {
    QString selected = selectedFilter;
    return QFileDialog::getOpenFileName(parent, title, directory, filter, &selected);
}

namespace {
// "txt" of "Text file (*.txt)": the extension a name typed without one receives.
QString filterSuffix(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([A-Za-z0-9]+)[ ;)]"));
    const QRegularExpressionMatch m = pattern.match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}
}  // namespace

QString QtUserDialogs::getSaveFileName(QWidget* parent, const QString& title, const QString& directory,
                                       const QString& filter) {
    // A name typed without an extension gets the one of the filter ("results" is saved as
    // "results.txt"), and the overwrite question is asked about that final name.
    QFileDialog dialog(parent, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(filterSuffix(filter));
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
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
