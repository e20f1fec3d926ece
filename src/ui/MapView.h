#pragma once
// The map widget: a grid of coloured cells with its coordinate bars, numbered colour bar,
// axis titles, status line, "Whole range" button and the colour-scale controls above it;
// zoom with the wheel, pan by dragging, a tooltip per cell and a double-click that names
// the cell. It shows either the distribution of a run (axes M+ and M-, integers; colours
// by share of the distribution) or a grid of values over two swept parameters (axes of
// parameter values; colours from the smallest value to the largest).

#include "pipeline/CalculationJob.h"
#include "ui/MapModel.h"

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QPainter;
class QLabel;
class QSpinBox;
class QToolButton;

namespace marlinq::ui {

// One axis of the map: integers from `first` (M+ or M-), or one value per cell (a swept
// parameter, named).
struct MapAxis {
    std::int64_t first = 0;
    std::vector<double> values;  // empty: an integer axis
    QString name;

    bool integers() const { return values.empty(); }
    // The label of cell `index` of the axis ("12", "0.35").
    QString text(std::int64_t index) const;
};

// How a saved figure of the distribution is laid out.
struct FigureOptions {
    bool captionInPicture = true;
    double widthMm = 170.0;
};

class MapView : public QWidget {
    Q_OBJECT

public:
    explicit MapView(QWidget* parent = nullptr);

    // --- the distribution of a run ---
    // The empty grid of new ranges (rows M+ mpMin.., columns M- mmMin..), before the run
    // has drawn anything.
    void showEmptyRanges(std::int32_t mpMin, std::int32_t mpCount, std::int32_t mmMin, std::int32_t mmCount);
    // Draws a run's snapshot. False when it has nothing to draw; when its weights give no
    // colour classes, also why in `error` (the map stays as it was).
    bool setRecord(ResultSnapshot record, QString* error = nullptr);
    // The most probable complex of the record drawn ((mpMin, mmMin) while no cell has a weight).
    std::pair<std::int32_t, std::int32_t> mostProbableCell() const { return drawnBest; }
    // While a run fills the map its populated region is not known yet.
    void setRunning(bool running);
    // After a run: shows the populated region of a large range, if there is one.
    void focusPopulatedRegion();
    // Lays out and paints the map again at the area's size.
    void redraw() { layoutMapArea(); }
    // Forgets the cells drawn (no tooltip or double-click until the next drawing).
    void forgetCells() { list.clear(); }

    // --- a grid of values over two parameters ---
    // values: x-major (cell i * y.values.size() + j), as many as are known; NaN: no value.
    void setValueGrid(MapAxis x, MapAxis y, std::vector<double> values, const QString& title);

    // --- both ---
    const ColourScale& colourScale() const { return scale; }
    void setColourScale(const ColourScale& s);
    // Reads the colour scale from the user's settings; from then on each change is saved.
    void rememberColourScale();
    // The part of the grid shown (rows: x axis, columns: y axis, as indices).
    const CellWindow& window() const { return view; }
    void setWindow(const CellWindow& w);
    bool showsWholeRange() const;
    // Whole range on: every cell; off: back to the populated region (if there is one).
    void setWholeRange(bool whole);
    // What the "Whole range" button does: the whole range, or back to the populated region.
    void toggleWholeRange();
    // Whether toggleWholeRange has anything to do.
    bool canToggleWholeRange() const;
    // The map as drawn last, at its size on the screen, and its cells (positions in map pixels).
    const QImage& image() const { return picture; }
    const CellList& cells() const { return list; }
    // Tooltip at a point of the map picture (empty outside the cells).
    QString toolTipAt(QPoint position) const;
    // Writes the figure of the distribution shown (axes, numbered colour bar, caption);
    // false on failure. With the caption left out of the picture it goes into a text file
    // beside it (map.png -> map.txt). A grid of values is written as it is shown.
    bool saveFigure(const QString& path, bool svg, const FigureOptions& options);
    // The map as it is shown, without the "Whole range" button: a grid of values as saved.
    QImage pictureWithoutControls();
    void renderWithoutControls(QPainter* painter);
    // The name a save offers: method, ka and ranges shown ("map_dh_ka0.2_mp0-10_mm0-10.png").
    QString suggestedFileName(const QString& suffix) const;
    // Where a figure's caption goes when it is left out of the picture.
    static QString captionPathOf(const QString& figurePath);

signals:
    // A double-click on a cell: its M+ and M-, or on a grid of values its indices (x, y).
    void cellActivated(std::int32_t mp, std::int32_t mm);
    // The part shown or what "Whole range" can do changed.
    void viewChanged();
    void colourScaleChanged(const marlinq::ui::ColourScale& scale);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool valueGrid() const { return !xAxis.integers(); }
    double maxShare() const;
    // A grid of values: the numbers of its colour bar (position in classes above the bar's
    // bottom, text).
    std::vector<std::pair<double, QString>> barNumbers(double classHeight, double textHeight) const;
    // Places the colour bar, the axes and the map in the map area (square cells, as large
    // as the area allows) and paints them.
    void layoutMapArea();
    void renderMap();
    void updateStatus();
    // Shows the status in full, or briefly when the label is too narrow.
    void fitStatus();
    bool mouseEvent(QEvent* event);
    const std::optional<CellWindow>& populated() const;
    QString axisRange(const MapAxis& axis, std::int32_t from, std::int32_t to, const char* symbol) const;
    void saveSettings() const;
    void withoutControls(const std::function<void()>& draw);

    // --- controls (objectName = member name) ---
    QLabel* titleLabel = nullptr;
    QCheckBox* logColoursBox = nullptr;
    QSpinBox* decadesSpinBox = nullptr;
    QWidget* mapArea = nullptr;  // colour bar, axes and map
    QLabel *maxLabel = nullptr, *minLabel = nullptr, *statusLabel = nullptr;
    QLabel *mPlusTitle = nullptr, *mMinusTitle = nullptr;
    QLabel *mapPicture = nullptr, *colourBar = nullptr, *mPlusAxis = nullptr, *mMinusAxis = nullptr;
    QToolButton* wholeRangeButton = nullptr;

    // --- state ---
    ResultSnapshot drawnRecord;                             // the snapshot the map and `list` show
    Grid<std::int32_t> drawnColours;                        // the colour classes of the cells shown
    Grid<std::int32_t> drawnClasses;                        // the colour classes of every cell
    std::pair<std::int32_t, std::int32_t> drawnBest{0, 0};  // most probable complex
    std::vector<double> values;                             // a grid of values: the values known, x-major
    QString valueTitle;                                     // what the values are ("Mean M+")
    MapAxis xAxis, yAxis;                                   // along the rows (x) and the columns (y) of the grid
    std::int32_t rows = 0, cols = 0;                        // cells of the whole grid along x and y
    ColourScale scale;
    bool remembersScale = false;
    bool running = false;
    CellWindow view;           // the cells shown
    bool viewFocused = false;  // view is the populated region chosen after the run
    QPoint dragStart;
    CellWindow dragView;
    bool dragging = false;
    // The populated region of drawnRecord, found once per record.
    mutable ResultSnapshot regionRecord;
    mutable std::optional<CellWindow> region;
    QString statusFull, statusBrief;  // what the map shows, long and short
    CellList list;
    QImage picture;  // the map
};

}  // namespace marlinq::ui
