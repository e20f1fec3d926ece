#pragma once
// The tolerant number parse of the window's concentration and salt fields. Needs QtCore
// only, so the fuzz target that exercises it links without any widget.

#include <QString>

#include <optional>

namespace marlinq::ui {

// A comma is read as a decimal point; white space, signs (also trailing), parentheses for
// a negative number, group separators, an exponent and the currency symbol are allowed;
// 0.0 when nothing parses. The same text gives the same number under every locale whose
// decimal separator is a point or a comma.
double tolerantDouble(const QString& text);
// The same parse; nullopt when nothing parses.
std::optional<double> tolerantNumber(const QString& text);

}  // namespace marlinq::ui
