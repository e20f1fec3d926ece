#pragma once
// The "Optimal solution" tab: the most probable complex of the current result (its numbers
// of '+' and '-' chains, core radius, rescaled salt core, bare charge and rescaled bare
// charge), a sketch of it as a sun of chains around its core, and over the sketch the
// note that the result is that of a stopped run.

#include "pipeline/RunResult.h"

#include <QFrame>

#include <cstdint>
#include <random>

class QLabel;

namespace marlinq::ui {

class ResultPanel : public QFrame {
    Q_OBJECT

public:
    explicit ResultPanel(QWidget* parent = nullptr);

    // Shows the complex (mp, mm) of rec. False when its core radius is 0: then only the
    // numbers of chains are shown, the rest stays as it was.
    bool showComplex(const RunResult& rec, std::int32_t mp, std::int32_t mm);
    // Empties the numbers (the sketch stays).
    void clear();
    // A stopped run with `done` of its `total` rows (a Debye-Hueckel run: complexes) says so
    // over the sketch; total 0 hides the note.
    void setPartial(int done, int total, const QString& unit = QStringLiteral("rows"));

private:
    QLabel *mPlusOutput = nullptr, *mMinusOutput = nullptr, *coreRadiusOutput = nullptr,
           *rescaledSaltCoreOutput = nullptr, *bareChargeOutput = nullptr, *rescaledBareChargeOutput = nullptr;
    QLabel* sunSketch = nullptr;
    QLabel* partialLabel = nullptr;
    // The chains of the sketch start at a random phase; the same sequence in every window.
    std::mt19937 sunRandom{20240601u};
};

}  // namespace marlinq::ui
