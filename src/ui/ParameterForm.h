#pragma once
// The parameters of a calculation as the user types them: the '+' and the '-' chain (charge,
// charged and neutral block lengths with their sliders, the charge density and its "Get"
// button, a schematic of the chain) and the solution (ka, the polymer concentrations with
// their mode and unit, the segment size), and the ranges of aggregation numbers, a row the
// main window places under its map. Every field is read by one parse with the messages of the
// parameter schema.

#include "pipeline/ParameterSchema.h"
#include "ui/UserDialogs.h"

#include <QFrame>
#include <QPointer>

#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace marlinq::ui {

class ParameterForm : public QFrame {
    Q_OBJECT

public:
    explicit ParameterForm(QWidget* parent = nullptr);
    ~ParameterForm() override;

    // The fields as a parameter set, unchecked: a field that does not read gives 0. In total
    // mode the two concentration fields are the totals, and vc10, vc01 hold them too (the free
    // chains are not known before a run).
    ParameterSet value() const;
    // Shows a set in the fields, its concentration mode, the charge densities, the sliders
    // and the schematics; the set's parameters become the held ones.
    void setValue(const ParameterSet& set);

    // Reads and checks every field in the order of the form, as "Solve" does: each value goes
    // into the held parameters as it is read. Returns the message of the first field that
    // fails (nothing of set is then to be used); else set holds what was read, in total mode
    // with the totals as vc10 and vc01.
    std::optional<QString> read(ParameterSet& set);
    // The same parse and messages without the checks of the ranges, as a parameter file is
    // saved: the fields in the same order, each value held as it is read (0 when it does not
    // read), the charge densities formed, the totals as in read().
    std::optional<QString> readForFile(ParameterSet& set);

    // The parameters as the last read, "Get" and setValue() left them; "Load Parameters"
    // reads a file over them.
    const Parameters& parameters() const { return held; }
    Parameters& parameters() { return held; }

    // The segment size a in nm; nullopt when the field is empty or not from 0.01 to 100.
    std::optional<double> segmentSizeNm() const;
    // The field of the segment size (the observables read it too).
    QLineEdit* segmentSizeInput() const { return segmentSizeField; }
    // The row of the M+ and M- range fields, for the main window to place (in its layout,
    // which becomes its parent; until then the form owns it).
    QWidget* rangeRow() const { return ranges; }

    // Shows the charge densities and the schematics the chain fields describe, as the window
    // does when it opens; a field that does not read is named in a message and taken as 0.
    void showChainsFromFields();

    // Rows of the form: where the '-' and the solution banners start.
    static constexpr int kMinusBannerTop = 236;
    static constexpr int kSolutionBannerTop = 472;

signals:
    // The user changed a field, a slider or a box of the form (once per change), or
    // setValue() showed a set.
    void changed();

private:
    // "Get" of a chain (0 the '+' chain, 1 the '-' chain): its charge density from its charge
    // and charged length, held with the charge and the neutral length, and its schematic on
    // the scale of the longest of its charged block and the neutral blocks held. A field that
    // does not read is named in a message and taken as 0.
    void showChargeDensity(int chain);
    void drawSchematic(int chain, double length, double neutral, double scale);
    // A slider typed its value into its field.
    void sliderMoved(QLineEdit* field, int value);

    QLineEdit* fieldOf(const ParameterRow& row) const;
    // The one parse of a field: nullopt when its text is not a number (a lenient field
    // reads a comma or a point whatever the desktop's format).
    std::optional<double> parse(const ParameterRow& row) const;
    bool totalModeChosen() const;
    bool millimolarChosen() const;
    // The two concentration fields in chains per a^3, whichever the unit (mM converted with
    // the segment size, to the digits a file keeps); nullopt for a field that does not read.
    // The message of a failure (mM without a segment size).
    std::optional<QString> concentrationsPerSegmentVolume(std::optional<double>& plus,
                                                          std::optional<double>& minus) const;
    // The unit box moved: the typed values are converted into the new unit, or, without a
    // segment size, the box goes back with a message.
    void unitSwitched(int unit);
    // Total mode: the totals of the concentration fields into the set (mM converted with
    // the segment size). The message of a failure (mM without a segment size).
    std::optional<QString> readTotals(ParameterSet& set) const;
    void showMessage(const QString& text) const;
    // parse(), or 0 after the message of the field.
    double parseOrSay(const ParameterRow& row) const;

    QLineEdit *plusChargeField = nullptr, *plusLengthField = nullptr, *plusNeutralField = nullptr;
    QLineEdit *minusChargeField = nullptr, *minusLengthField = nullptr, *minusNeutralField = nullptr;
    QSlider *plusChargeSlider = nullptr, *plusLengthSlider = nullptr, *plusNeutralSlider = nullptr;
    QSlider *minusChargeSlider = nullptr, *minusLengthSlider = nullptr, *minusNeutralSlider = nullptr;
    QLabel *plusDensityOutput = nullptr, *minusDensityOutput = nullptr;
    QPushButton *plusDensityButton = nullptr, *minusDensityButton = nullptr;
    // The schematics: a strip of sign symbols for the charged block, a black line for the
    // neutral one; hidden until a scale is known.
    QLabel *plusChargedBlock = nullptr, *minusChargedBlock = nullptr;
    QWidget *plusNeutralBlock = nullptr, *minusNeutralBlock = nullptr;
    QLineEdit* saltField = nullptr;
    // The "Polymer concentration" row: free chains (c+, c-) or totals (C+, C-), and the unit
    // of its two fields (chains per a^3, or mM of chains with the segment size).
    QComboBox *concentrationModeBox = nullptr, *concentrationUnitBox = nullptr;
    int shownUnit = 0;  // the unit the concentration fields are written in
    QLineEdit *plusConcentrationField = nullptr, *minusConcentrationField = nullptr;
    QLineEdit* segmentSizeField = nullptr;  // a in nm, optional
    QLineEdit *bjerrumField = nullptr, *surfaceField = nullptr, *waterFractionField = nullptr;
    QPointer<QWidget> ranges;
    QLineEdit *mpMinField = nullptr, *mpMaxField = nullptr, *mmMinField = nullptr, *mmMaxField = nullptr;

    Parameters held;
    bool showing = false;  // setValue() at work: one changed() at its end
    // The message boxes of the window, fixed when the form is made.
    std::shared_ptr<UserDialogs> dialogs = userDialogs();
};

}  // namespace marlinq::ui
