// The tolerant number parse of the concentration fields. Any text must parse without a
// fault; and a number the program itself writes (general format, point or comma) must read
// back as the classic reader of the files reads it, on an English and on a German desktop.
#include "io/NumberText.h"
#include "ui/NumberInput.h"

#include <QLocale>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    static const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(size > 0 && (data[0] & 2) ? german : english);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double any = marlinq::ui::tolerantDouble(text);
    (void)any;

    if (size >= 1 + sizeof(double)) {
        double x;
        std::memcpy(&x, data + 1, sizeof x);
        // Subnormal and extreme magnitudes are left out: the fields hold 1e-20 .. 10.
        const double a = std::fabs(x);
        if (std::isfinite(x) && (x == 0.0 || (a > 1e-300 && a < 1e300))) {
            const char separator = (data[0] & 1) ? ',' : '.';
            const std::string written = marlinq::formatGeneral(x, separator);
            const std::optional<double> classic = marlinq::parseLeadingDouble(marlinq::formatGeneral(x, '.'));
            if (!classic) std::abort();
            const double tolerant = marlinq::ui::tolerantDouble(QString::fromStdString(written));
            if (tolerant != *classic) std::abort();
        }
    }
    return 0;
}
