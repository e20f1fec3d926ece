#pragma once
// The About window: illustration, version, authors and a web address.

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
    // Where the documentation is, as the About window says it.
    static QString helpText();

public slots:
    void button1_Click();

private:
    QLabel* pictureBox1 = nullptr;
    QPushButton* button1 = nullptr;
};

}  // namespace marlinq::ui
