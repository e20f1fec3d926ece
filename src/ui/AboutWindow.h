#pragma once
// The About window: illustration, version, authors and where the documentation is.

#include <QWidget>

class QLabel;
class QPushButton;

namespace marlinq::ui {

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    static constexpr int ClientWidth = 486;
    static constexpr int ClientHeight = 322;
    // Where the help is: the manual page and the README installed with the program.
    static QString helpText();
    // The release and the commit the program was built from, on two lines.
    static QString versionText();

private:
    QLabel* illustration = nullptr;
    QPushButton* exitButton = nullptr;
};

}  // namespace marlinq::ui
