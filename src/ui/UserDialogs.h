#pragma once
// The window's message boxes and file dialogs behind one replaceable object, so the
// handlers can be driven without a user (tests answer the dialogs themselves).

#include <QString>

#include <memory>

class QWidget;

namespace marlinq::ui {

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // A modal message box owned by parent with the text and an OK button.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // Path of a file to read, or an empty string when the user cancelled. filter uses Qt's
    // "Description (*.ext);;..." syntax; selectedFilter is the entry chosen at first.
    virtual QString getOpenFileName(QWidget* parent, const QString& title, const QString& directory,
                                    const QString& filter, const QString& selectedFilter) = 0;
    // Path of a file to write, or an empty string when the user cancelled.
    virtual QString getSaveFileName(QWidget* parent, const QString& title, const QString& directory,
                                    const QString& filter) = 0;
    // A choice before writing a very large file: what text says, then save it as it is,
    // save a smaller form (shortForm names it), or cancel.
    enum class LargeFileChoice { Save, ShortForm, Cancel };
    // (Without an answer of its own, a set of dialogs cancels.)
    virtual LargeFileChoice askLargeFile(QWidget* parent, const QString& text, const QString& shortForm) {
        (void)parent, (void)text, (void)shortForm;
        return LargeFileChoice::Cancel;
    }
    // A sweep of the same plan was left unfinished (the program or the window ended while it
    // ran): continue it (only its missing points are computed), start it over, or cancel.
    enum class ResumeChoice { Resume, StartOver, Cancel };
    virtual ResumeChoice askResumeSweep(QWidget* parent, const QString& text) {
        (void)parent, (void)text;
        return ResumeChoice::Cancel;
    }
};

// The ordinary dialogs of Qt.
class QtUserDialogs : public UserDialogs {
public:
    void showMessage(QWidget* parent, const QString& text) override;
    QString getOpenFileName(QWidget* parent, const QString& title, const QString& directory, const QString& filter,
                            const QString& selectedFilter) override;
    QString getSaveFileName(QWidget* parent, const QString& title, const QString& directory,
                            const QString& filter) override;
    LargeFileChoice askLargeFile(QWidget* parent, const QString& text, const QString& shortForm) override;
    ResumeChoice askResumeSweep(QWidget* parent, const QString& text) override;
};

// The dialogs every window of the program uses; QtUserDialogs unless replaced.
std::shared_ptr<UserDialogs> userDialogs();
// Replaces them (nullptr restores the Qt dialogs).
void setUserDialogs(std::shared_ptr<UserDialogs> dialogs);

}  // namespace marlinq::ui
