#pragma once
// Pictures of the windows: the run-time canvases of symbols/ (looked up like every data
// file, replaced by a plain canvas when missing or too small) and the embedded drawings.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace marlinq::ui {

// A fresh copy of a run-time picture, e.g. "symbols/matrix.jpg". When the file is missing,
// unreadable or smaller than minimumSize, a plain white canvas of minimumSize is returned.
QPixmap loadRuntimePicture(const QString& relativeName, QSize minimumSize);

// An embedded drawing (":/images/<name>.svg") rendered at its natural size, or at size.
// Names: banner_plus, banner_minus, banner_solution, banner_optimal, sym_qplus, sym_Nplus,
// sym_N, sym_xiplus, sym_qminus, sym_Nminus, sym_ximinus, sym_ka, sym_cplus, sym_cminus,
// sym_mplus, sym_mminus, sym_Rc, sym_kRc, sym_Z, sym_Ztilde, minus_strip (150 x 20),
// app_icon (256 x 256), about_illustration (210 x 262).
QPixmap embeddedPicture(const QString& name);
QPixmap embeddedPicture(const QString& name, QSize size);

QIcon applicationIcon();

}  // namespace marlinq::ui
