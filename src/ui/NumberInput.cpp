#include "ui/NumberInput.h"

#include <QLocale>

#include <optional>

namespace marlinq::ui {

namespace {

// One locale's attempt of the tolerant parse.
std::optional<double> tolerantParse(QString s, const QLocale& locale) {
    s = s.trimmed();
    bool negative = false;
    if (s.startsWith(QLatin1Char('(')) && s.endsWith(QLatin1Char(')'))) {
        negative = true;
        s = s.mid(1, s.size() - 2).trimmed();
    }
    const QString currency = locale.currencySymbol();
    if (!currency.isEmpty()) {
        if (s.startsWith(currency)) s = s.mid(currency.size()).trimmed();
        if (s.endsWith(currency)) s.chop(currency.size());
        s = s.trimmed();
    }
    if (s.endsWith(QLatin1Char('-')) || s.endsWith(QLatin1Char('+'))) {
        if (s.endsWith(QLatin1Char('-'))) negative = !negative;
        s.chop(1);
        s = s.trimmed();
    }
    if (s.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = locale.toDouble(s, &ok);
    if (!ok) return std::nullopt;
    return negative ? -v : v;
}


}  // namespace

double tolerantDouble(const QString& text) { return tolerantNumber(text).value_or(0.0); }

std::optional<double> tolerantNumber(const QString& text) {
    QString s = text;
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    // The text now uses a point as its decimal separator. A culture whose decimal separator
    // is not the point would read it as a group separator ("0.5" as 5), so the user's own
    // culture is asked only when it agrees.
    const QLocale current;
    if (current.decimalPoint() == QStringLiteral(".") && current.groupSeparator() != QStringLiteral(".")) {
        if (auto v = tolerantParse(s, current)) return v;
    }
    if (auto v = tolerantParse(s, QLocale(QLocale::English, QLocale::UnitedStates))) return v;
    return tolerantParse(s, QLocale::c());
}

}  // namespace marlinq::ui
