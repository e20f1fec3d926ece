#pragma once
// Shared pieces of the main-window tests: dialogs that answer themselves, waiting for the
// job, and files of parameters.
#include "files/DataPaths.h"
#include "pipeline/ParameterSchema.h"
#include "ui/MainWindow.h"
#include "ui/ParameterForm.h"
#include "ui/MapView.h"
#include "ui/ResultPanel.h"
#include "ui/RunController.h"
#include "ui/RunOptionsBox.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <QSettings>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <stdexcept>

namespace marlinq::ui::testing {

class AnsweringDialogs : public UserDialogs {
public:
    QStringList messages;
    QString openAnswer, saveAnswer;
    int openAsked = 0, saveAsked = 0;
    QString lastTitle, lastFilter, lastSelectedFilter, lastDirectory;

    void showMessage(QWidget*, const QString& text) override { messages << text; }
    QString getOpenFileName(QWidget*, const QString& title, const QString& directory, const QString& filter,
                            const QString& selectedFilter) override {
        ++openAsked;
        lastDirectory = directory;
        lastTitle = title;
        lastFilter = filter;
        lastSelectedFilter = selectedFilter;
        return openAnswer;
    }
    QString getSaveFileName(QWidget*, const QString& title, const QString& directory, const QString& filter) override {
        ++saveAsked;
        lastDirectory = directory;
        lastTitle = title;
        lastFilter = filter;
        return saveAnswer;
    }
    LargeFileChoice largeAnswer = LargeFileChoice::Cancel;
    QStringList largeAsked;
    LargeFileChoice askLargeFile(QWidget*, const QString& text, const QString&) override {
        largeAsked << text;
        return largeAnswer;
    }
    ResumeChoice resumeAnswer = ResumeChoice::Cancel;
    QStringList resumeAsked;
    ResumeChoice askResumeSweep(QWidget*, const QString& text) override {
        resumeAsked << text;
        return resumeAnswer;
    }
};

// A child of the window by its object name; the test fails when there is none.
template <typename W>
W* childOf(const QObject& window, const char* name) {
    W* child = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}
// The run controller of a main or sweep window.
inline RunController& runControllerOf(const QObject& window) {
    return *childOf<RunController>(window, "runController");
}
// A menu command of the window by its object name ("loadParametersAction").
inline QAction* actionOf(const MainWindow& form, const char* name) { return childOf<QAction>(form, name); }
inline QPushButton* solveButtonOf(const MainWindow& form) { return childOf<QPushButton>(form, "solveButton"); }
inline QPushButton* stopButtonOf(const MainWindow& form) { return childOf<QPushButton>(form, "stopButton"); }
inline RunOptionsBox& runOptionsOf(const MainWindow& form) { return *childOf<RunOptionsBox>(form, "runOptionsBox"); }
// "DH approximation": ticked for the Debye-Hueckel approximation, unticked for Poisson-Boltzmann.
inline QCheckBox* debyeHueckelBoxOf(const MainWindow& form) { return childOf<QCheckBox>(form, "debyeHueckelBox"); }
inline QTextEdit* logViewOf(const MainWindow& form) { return childOf<QTextEdit>(form, "logView"); }
inline QProgressBar* runProgressOf(const MainWindow& form) { return childOf<QProgressBar>(form, "runProgress"); }
// A number or label of the "Optimal solution" tab: mPlusOutput, mMinusOutput, coreRadiusOutput,
// rescaledSaltCoreOutput, bareChargeOutput, rescaledBareChargeOutput, sunSketch, partialLabel.
inline QLabel* resultLabelOf(const MainWindow& form, const char* name) {
    return childOf<QLabel>(*childOf<ResultPanel>(form, "resultPanel"), name);
}
// The window's map, found by its object name.
inline MapView& mapViewOf(QWidget& window) {
    auto* view = window.findChild<MapView*>(QStringLiteral("mapView"));
    if (view == nullptr) throw std::runtime_error("the window has no mapView");
    return *view;
}
// A part of the map ("mapPicture", "colourBar", "mPlusAxis", "wholeRangeButton" ...).
template <typename W = QLabel>
W* mapPart(QWidget& window, const char* name) {
    auto* part = mapViewOf(window).findChild<W*>(QString::fromLatin1(name));
    if (part == nullptr) throw std::runtime_error(std::string("the map has no ") + name);
    return part;
}
// A double-click of the left button at a point of the map picture.
inline void doubleClickMap(QWidget& window, QPoint at) {
    QTest::mouseDClick(mapPart(window, "mapPicture"), Qt::LeftButton, Qt::NoModifier, at);
}

// Processes window events until pred holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& pred, int deadlineMs = 120000) {
    for (int waited = 0; waited < deadlineMs; waited += 5) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (pred()) return true;
        QThread::msleep(5);
    }
    return pred();
}

// The parameter form of a window.
inline ParameterForm& parameterFormOf(QWidget& window) {
    auto* form = window.findChild<ParameterForm*>(QStringLiteral("parameterForm"));
    if (form == nullptr) throw std::logic_error("the window has no parameterForm");
    return *form;
}

// A part of a window by its object name.
template <typename W>
W* partOf(const QWidget& window, const char* name) {
    auto* part = window.findChild<W*>(QString::fromLatin1(name));
    if (part == nullptr) throw std::logic_error(std::string("the window has no ") + name);
    return part;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        marlinq::setDataDirectoryOverride(MARLINQ_SOURCE_DATA_DIR);
        dialogs = std::make_shared<AnsweringDialogs>();
        setUserDialogs(dialogs);
        // Settings (the colour scale) go to a folder of this test, never the user's.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        form = std::make_unique<MainWindow>();
        // The window as it opens on a 1366 x 768 screen.
        form->resize(1366, 700);
        form->setDataSearch(marlinq::DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
        form->show();
    }
    void TearDown() override {
        form.reset();
        QApplication::closeAllWindows();
        QCoreApplication::processEvents();
        setUserDialogs(nullptr);
        QLocale::setDefault(QLocale::c());
    }
    // Clicks "Solve" and waits until the job has returned.
    void solveAndWait() {
        solveButtonOf(*form)->click();
        ASSERT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
        ASSERT_TRUE(
            waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); }));
        QCoreApplication::processEvents();
    }
    QString log() const { return logViewOf(*form)->toPlainText(); }
    // Saves the map through File > Save Map as PNG (or SVG), the dialog answering path;
    // true when the window said nothing against it.
    bool saveMapAs(const QString& path, bool svg) {
        dialogs->saveAnswer = path;
        const qsizetype said = dialogs->messages.size();
        actionOf(*form, svg ? "saveMapSvgAction" : "saveMapPngAction")->trigger();
        return dialogs->messages.size() == said && QFile::exists(path);
    }
    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    void setRanges(int pmin, int pmax, int mmin, int mmax) {
        field("mpMinField")->setText(QString::number(pmin));
        field("mpMaxField")->setText(QString::number(pmax));
        field("mmMinField")->setText(QString::number(mmin));
        field("mmMaxField")->setText(QString::number(mmax));
    }
    // The parameter form and its parts by object name.
    ParameterForm& parameterForm() const { return parameterFormOf(*form); }
    QLineEdit* field(const char* name) const { return partOf<QLineEdit>(*form, name); }
    QSlider* slider(const char* name) const { return partOf<QSlider>(*form, name); }
    QLabel* label(const char* name) const { return partOf<QLabel>(*form, name); }
    QPushButton* button(const char* name) const { return partOf<QPushButton>(*form, name); }
    QComboBox* comboBox(const char* name) const { return partOf<QComboBox>(*form, name); }

    // Centre of the cell (mp, mm) on the map as drawn; the cell must be shown.
    QPoint cellCentre(std::int32_t mp, std::int32_t mm) const {
        const CellList& cells = mapViewOf(*form).cells();
        if (cells.empty()) return QPoint(100, 100);
        const Rec first = cells.at(0);
        const CellGeometry& g = cells.geometry();
        const std::int32_t i = mp - first.mp, j = mm - first.mm;
        return QPoint(static_cast<int>(g.cellX(i) + g.cw / 2), static_cast<int>(g.cellY(j) + g.ch / 2));
    }

    QTemporaryDir dir;
    QTemporaryDir settingsDir;
    std::shared_ptr<AnsweringDialogs> dialogs;
    std::unique_ptr<MainWindow> form;
};

}  // namespace marlinq::ui::testing
