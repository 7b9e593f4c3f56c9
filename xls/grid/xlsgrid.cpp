#include "xls/grid/xlsgrid.h"

#include "xls/excelstring.h"
#include "xls/formula_text/cell_formula.h"
#include "xls/formula_text/formula_text.h"
#include "xls/grid/cellentry.h"
#include "xls/text.h"
#include "xls/write/cells.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cmath>

namespace quorvane::xls {

namespace {

constexpr int MinZoom = 10, MaxZoom = 400;
constexpr double TwipsPerPixel = 15.0;
constexpr double ColumnUnitsPerPixel = 256.0 / 7.0; // 1/256 character, 7 pixels a character
constexpr int HeaderColumnPixels = 48;
// How far left an empty cell looks for text that overflows into it.
constexpr int OverflowReach = 64;
const QColor GridLineColour(0xD4, 0xD4, 0xD4);
const QColor HeaderHighlight(0xF6, 0xD5, 0x8E);

QString qs(const std::u16string& s)
{
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

std::u16string u16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

QColor colourOf(const TWorkbookGlobals& g, int index, QColor fallback)
{
    if (const auto rgb = grid::paletteColor(g, index))
        return QColor(rgb->r, rgb->g, rgb->b);
    return fallback;
}

numfmt::Symbols symbolsOf(const QLocale& l)
{
    numfmt::Symbols s;
    const QString d = l.decimalPoint(), g = l.groupSeparator();
    if (!d.isEmpty())
        s.decimal = d.at(0).unicode();
    if (!g.isEmpty())
        s.group = g.at(0).unicode();
    return s;
}

} // namespace

// ---------------------------------------------------------------------------

/// The cells of the shown sheet, answered on demand.
class SheetModel final : public QAbstractTableModel {
public:
    struct CellView {
        QString text;
        const grid::CellStyle* style = nullptr;
        int colorIndex = -1;
        bool empty = true;
        bool isText = false;
        bool isNumber = false;
    };

    explicit SheetModel(TXlsGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

    void reset(int rows, int cols, TWorkbook* wb)
    {
        beginResetModel();
        rows_ = rows;
        cols_ = cols;
        wb_ = wb;
        styles_.clear();
        formatter_ = wb ? std::make_unique<numfmt::CellFormatter>(*wb, symbolsOf(QLocale())) : nullptr;
        endResetModel();
    }
    void formatsChanged()
    {
        styles_.clear();
        if (formatter_)
            formatter_->reset();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : cols_; }

    const grid::CellStyle& style(int xf) const
    {
        auto it = styles_.find(xf);
        if (it == styles_.end())
            it = styles_.emplace(xf, grid::cellStyle(wb_->globals(), xf)).first;
        return it->second;
    }

    const TCellRecord* record(int r, int c) const
    {
        const TWorkSheet* ws = grid_->sheet();
        return ws ? ws->cells.cell(r, c) : nullptr;
    }

    CellView view(int r, int c) const
    {
        CellView v;
        const TCellRecord* cell = record(r, c);
        if (!cell || !formatter_)
            return v;
        const CellVariant value = cell->value();
        v.style = &style(cell->xf());
        v.empty = isEmpty(value);
        v.isText = std::holds_alternative<std::u16string>(value);
        v.isNumber = std::holds_alternative<double>(value);
        if (v.empty)
            return v;
        const numfmt::Rendered shown = formatter_->render(value, cell->xf());
        v.text = qs(shown.text);
        v.colorIndex = shown.colorIndex;
        v.empty = v.text.isEmpty();
        return v;
    }

    QString editText(int r, int c) const
    {
        const TCellRecord* cell = record(r, c);
        if (const auto* f = dynamic_cast<const TFormulaRecord*>(cell)) {
            try {
                formula::WorkbookSheets sheets(*wb_);
                return qs(formula::formulaText(*f, &sheets));
            } catch (const formula::FormulaTextError&) {
                // Tokens with no text: the editor starts with the value, as drawn.
            }
        }
        return view(r, c).text;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return view(index.row(), index.column()).text;
        if (role == Qt::EditRole)
            return editText(index.row(), index.column());
        return {};
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole || !index.isValid())
            return false;
        grid_->AcceptEdit(index.row() + 1, index.column() + 1, value.toString());
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (!grid_->readOnly_ && !(grid_->formulaReadOnly_ && dynamic_cast<const TFormulaRecord*>(record(index.row(), index.column()))))
            f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (role == Qt::DisplayRole)
            return o == Qt::Horizontal ? TXlsGrid::ColumnTitle(section + 1) : QString::number(section + 1);
        const QModelIndex cur = grid_->currentIndex();
        const bool current = !grid_->hideCursor_ && cur.isValid() &&
                             (o == Qt::Horizontal ? cur.column() == section : cur.row() == section);
        if (role == Qt::BackgroundRole && current)
            return HeaderHighlight;
        if (role == Qt::FontRole && current) {
            QFont f = grid_->font();
            f.setBold(true);
            return f;
        }
        return {};
    }

    TWorkbook* workbook() const noexcept { return wb_; }

private:
    TXlsGrid* grid_;
    int rows_ = 0, cols_ = 0;
    TWorkbook* wb_ = nullptr;
    std::unique_ptr<numfmt::CellFormatter> formatter_;
    mutable std::map<int, grid::CellStyle> styles_;
};

// ---------------------------------------------------------------------------

/// Paints a cell as the sheet styles it, and text overflowing from the left.
class SheetDelegate final : public QStyledItemDelegate {
public:
    SheetDelegate(TXlsGrid* grid, SheetModel* model) : QStyledItemDelegate(grid), grid_(grid), model_(model) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        editor_ = w;
        return w;
    }
    QWidget* openEditor() const { return editor_; }

    QFont fontOf(const grid::CellStyle* s) const
    {
        QFont f(s ? qs(s->font.name) : QStringLiteral("Arial"));
        const double points = s ? s->font.points : 10.0;
        // A point is 4/3 pixel at the sheet's 96 dots per inch.
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * 4.0 / 3.0 * grid_->ZoomFactor()))));
        if (s) {
            f.setBold(s->font.bold);
            f.setItalic(s->font.italic);
            f.setUnderline(s->font.underline);
            f.setStrikeOut(s->font.strikeOut);
        }
        return f;
    }

    static bool overflows(const SheetModel::CellView& v)
    {
        return v.isText && v.style && !v.style->wrap &&
               (v.style->hAlign == grid::HAlign::General || v.style->hAlign == grid::HAlign::Left);
    }

    // Right-aligned text runs on to the left.
    static bool overflowsLeft(const SheetModel::CellView& v)
    {
        return v.isText && v.style && !v.style->wrap && v.style->hAlign == grid::HAlign::Right;
    }

    bool isMerged(int r, int c) const { return grid_->rowSpan(r, c) > 1 || grid_->columnSpan(r, c) > 1; }

    // The column whose text reaches into empty cell (r, c), or -1.
    int overflowSource(int r, int c, QRect cellRect) const
    {
        for (int s = c - 1; s >= 0 && s >= c - OverflowReach; --s) {
            if (isMerged(r, s))
                return -1;
            const SheetModel::CellView v = model_->view(r, s);
            if (v.empty)
                continue;
            if (!overflows(v))
                return -1;
            const QRect src = grid_->visualRect(model_->index(r, s));
            const int textRight = src.left() + 2 + QFontMetrics(fontOf(v.style)).horizontalAdvance(v.text);
            return textRight > cellRect.left() ? s : -1;
        }
        return -1;
    }

    // The column right of empty cell (r, c) whose right-aligned text reaches into it, and
    // where that text begins, or -1.
    int leftOverflowSource(int r, int c, QRect cellRect, int* textLeft) const
    {
        for (int s = c + 1; s < model_->columnCount() && s <= c + OverflowReach; ++s) {
            if (isMerged(r, s))
                return -1;
            const SheetModel::CellView v = model_->view(r, s);
            if (v.empty)
                continue;
            if (!overflowsLeft(v))
                return -1;
            const QRect src = grid_->visualRect(model_->index(r, s));
            *textLeft = src.right() - 2 - QFontMetrics(fontOf(v.style)).horizontalAdvance(v.text);
            return *textLeft < cellRect.right() ? s : -1;
        }
        return -1;
    }

    void drawText(QPainter* p, const SheetModel::CellView& v, QRect textRect, QRect clip) const
    {
        const TWorkbookGlobals& g = model_->workbook()->globals();
        QColor colour = Qt::black;
        if (v.colorIndex >= 0)
            colour = colourOf(g, v.colorIndex, Qt::black);
        else if (v.style)
            colour = colourOf(g, v.style->font.colorIndex, Qt::black);
        int align = Qt::AlignLeft;
        switch (v.style ? v.style->hAlign : grid::HAlign::General) {
        case grid::HAlign::General: align = v.isNumber ? Qt::AlignRight : (v.isText ? Qt::AlignLeft : Qt::AlignHCenter); break;
        case grid::HAlign::Right: align = Qt::AlignRight; break;
        case grid::HAlign::Centre:
        case grid::HAlign::CentreAcross: align = Qt::AlignHCenter; break;
        default: align = Qt::AlignLeft; break;
        }
        const grid::VAlign va = v.style ? v.style->vAlign : grid::VAlign::Bottom;
        align |= va == grid::VAlign::Top ? Qt::AlignTop : va == grid::VAlign::Centre ? Qt::AlignVCenter : Qt::AlignBottom;
        if (v.style && v.style->wrap)
            align |= Qt::TextWordWrap;
        p->save();
        p->setClipRect(clip);
        p->setFont(fontOf(v.style));
        p->setPen(colour);
        p->drawText(textRect.adjusted(2, 0, -2, -1), align, v.text);
        p->restore();
    }

    void drawBorder(QPainter* p, const grid::BorderLine& b, QPoint from, QPoint to) const
    {
        if (b.style == 0)
            return;
        QPen pen(colourOf(model_->workbook()->globals(), b.colorIndex, Qt::black));
        pen.setWidth(b.style == 2 || b.style == 8 ? 2 : b.style == 5 || b.style == 6 ? 3 : 1);
        if (b.style == 3 || b.style == 8 || b.style >= 9)
            pen.setStyle(Qt::DashLine);
        else if (b.style == 4 || b.style == 7)
            pen.setStyle(Qt::DotLine);
        p->setPen(pen);
        p->drawLine(from, to);
    }

    // Pattern 1 is solid in the pattern colour; 2..18 draw the pattern colour over the
    // background colour in the hatch or grey the XF names.
    static void paintFill(QPainter* p, QRect rect, const grid::CellStyle* st, const TWorkbookGlobals& g)
    {
        if (!st || st->fillPattern <= 0) {
            p->fillRect(rect, Qt::white);
            return;
        }
        const QColor fg = colourOf(g, st->fillFg, Qt::black);
        if (st->fillPattern == 1) {
            p->fillRect(rect, fg);
            return;
        }
        static constexpr Qt::BrushStyle Hatches[] = {
            Qt::Dense4Pattern,    Qt::Dense2Pattern, Qt::Dense6Pattern,    Qt::HorPattern,      Qt::VerPattern,
            Qt::BDiagPattern,     Qt::FDiagPattern,  Qt::DiagCrossPattern, Qt::DiagCrossPattern, Qt::HorPattern,
            Qt::VerPattern,       Qt::BDiagPattern,  Qt::FDiagPattern,     Qt::CrossPattern,     Qt::DiagCrossPattern,
            Qt::Dense6Pattern,    Qt::Dense7Pattern,
        }; // patterns 2..18
        p->fillRect(rect, colourOf(g, st->fillBg, Qt::white));
        const std::size_t k = static_cast<std::size_t>(st->fillPattern - 2);
        p->fillRect(rect, QBrush(fg, k < std::size(Hatches) ? Hatches[k] : Qt::Dense4Pattern));
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int r = index.row(), c = index.column();
        const QRect rect = option.rect;
        const SheetModel::CellView v = model_->view(r, c);
        const grid::CellStyle* st = v.style;
        const TWorkbookGlobals& g = model_->workbook()->globals();

        paintFill(p, rect, st, g);

        // Where this cell's text runs on into its right neighbour, no line parts them.
        bool runsOn = false;
        int source = -1;
        if (v.empty && !isMerged(r, c))
            source = overflowSource(r, c, rect);
        if (!v.empty && overflows(v) && !isMerged(r, c))
            runsOn = rect.left() + 2 + QFontMetrics(fontOf(st)).horizontalAdvance(v.text) > rect.right();
        if (source >= 0) {
            const SheetModel::CellView next = model_->view(r, c + 1);
            const int textRight = grid_->visualRect(model_->index(r, source)).left() + 2 +
                                  QFontMetrics(fontOf(model_->view(r, source).style)).horizontalAdvance(model_->view(r, source).text);
            runsOn = next.empty && textRight > rect.right() && c + 1 < model_->columnCount();
        } else if (runsOn) {
            runsOn = c + 1 < model_->columnCount() && model_->view(r, c + 1).empty;
        }

        int leftSource = -1, textLeft = 0;
        if (v.empty && source < 0 && !isMerged(r, c))
            leftSource = leftOverflowSource(r, c, rect, &textLeft);
        if (leftSource >= 0)
            runsOn = true; // the text covers this cell's right edge

        if (grid_->showGridLines_) {
            p->setPen(GridLineColour);
            if (!runsOn)
                p->drawLine(rect.topRight(), rect.bottomRight());
            p->drawLine(rect.bottomLeft(), rect.bottomRight());
        }

        if (source >= 0) {
            const SheetModel::CellView sv = model_->view(r, source);
            QRect src = grid_->visualRect(model_->index(r, source));
            src.setRight(rect.right() + 4096);
            drawText(p, sv, src, rect);
        } else if (leftSource >= 0) {
            QRect src = grid_->visualRect(model_->index(r, leftSource));
            src.setLeft(rect.left() - 4096);
            drawText(p, model_->view(r, leftSource), src, rect);
        } else if (!v.empty) {
            QRect textRect = rect;
            if (runsOn)
                textRect.setRight(rect.right() + 4096);
            if (overflowsLeft(v) && !isMerged(r, c))
                textRect.setLeft(rect.left() - 4096); // clipped to the cell; its left part runs on
            drawText(p, v, textRect, rect);
        }

        if (st) {
            drawBorder(p, st->left, rect.topLeft(), rect.bottomLeft());
            drawBorder(p, st->right, rect.topRight(), rect.bottomRight());
            drawBorder(p, st->top, rect.topLeft(), rect.topRight());
            drawBorder(p, st->bottom, rect.bottomLeft(), rect.bottomRight());
            if (st->diagonalDown)
                drawBorder(p, st->diagonal, rect.topLeft(), rect.bottomRight());
            if (st->diagonalUp)
                drawBorder(p, st->diagonal, rect.bottomLeft(), rect.topRight());
        }
    }

private:
    TXlsGrid* grid_;
    SheetModel* model_;
    mutable QPointer<QWidget> editor_;
};

// ---------------------------------------------------------------------------

TXlsGrid::TXlsGrid(QWidget* parent) : QTableView(parent)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11); // 8 points, font height -11
    setFont(f);
    model_ = new SheetModel(this);
    delegate_ = new SheetDelegate(this, model_);
    setModel(model_);
    setItemDelegate(delegate_);
    setShowGrid(false); // the delegate draws the lines, so that text can run across them
    setWordWrap(false);
    horizontalHeader()->setMinimumSectionSize(0);
    verticalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    applyEditTriggers();
}

TXlsGrid::~TXlsGrid() = default;

void TXlsGrid::SetXlsImport(TXlsImport* import)
{
    import_ = import;
}

void TXlsGrid::SetReadOnly(bool v)
{
    readOnly_ = v;
    applyEditTriggers();
}

void TXlsGrid::SetHideCursor(bool v)
{
    hideCursor_ = v;
    model_->headerDataChanged(Qt::Horizontal, 0, std::max(0, model_->columnCount() - 1));
    model_->headerDataChanged(Qt::Vertical, 0, std::max(0, model_->rowCount() - 1));
}

void TXlsGrid::applyEditTriggers()
{
    setEditTriggers(readOnly_ ? QAbstractItemView::NoEditTriggers
                              : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                    QAbstractItemView::AnyKeyPressed);
}

TWorkSheet* TXlsGrid::sheet() const
{
    if (!loaded_ || !import_ || !import_->IsOpen())
        return nullptr;
    auto& sheets = import_->File()->workbook().sheets();
    if (loadedSheet_ < 1 || loadedSheet_ > static_cast<int>(sheets.size()))
        return nullptr;
    return dynamic_cast<TWorkSheet*>(sheets[static_cast<std::size_t>(loadedSheet_ - 1)].get());
}

int TXlsGrid::toPixels(double units) const
{
    return static_cast<int>(std::lround(units * ZoomFactor()));
}

void TXlsGrid::endEdit()
{
    QWidget* editor = delegate_->openEditor();
    if (state() == QAbstractItemView::EditingState && editor) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TXlsGrid::LoadSheet()
{
    endEdit();
    if (!import_ || !import_->IsOpen())
        return;
    TWorkbook& wb = import_->File()->workbook();
    const int active = import_->ActiveSheet();
    auto& sheets = wb.sheets();
    TWorkSheet* ws = active >= 1 && active <= static_cast<int>(sheets.size())
                         ? dynamic_cast<TWorkSheet*>(sheets[static_cast<std::size_t>(active - 1)].get())
                         : nullptr;
    loaded_ = true;
    loadedSheet_ = active;

    pictures_.clear();
    images_.clear();
    if (ws) {
        pictures_ = grid::sheetPictures(wb, *ws);
        for (const grid::Picture& p : pictures_)
            images_.push_back(QImage::fromData(p.image.data(), static_cast<int>(p.image.size())));
    }

    int rows = 0, cols = 0;
    if (fullWorksheet_) {
        rows = MaxRows;
        cols = MaxColumns;
    } else if (ws) {
        rows = ws->cells.rowRecordCount();
        for (int r = 0; r < rows; ++r)
            if (const TRowRecord* rr = ws->cells.rowRecord(r))
                cols = std::max<int>(cols, rr->lastColPlus1());
        // Pictures lie inside the grid, below the data as well as to its right.
        for (const grid::Picture& p : pictures_) {
            cols = std::max(cols, p.col2 + 1);
            rows = std::max(rows, p.row2 + 1);
        }
        cols = std::min(cols, MaxColumns);
        rows = std::min(rows, MaxRows);
    }
    rows = std::max(rows, 1);
    cols = std::max(cols, 1);

    model_->reset(rows, cols, &wb);
    clearSpans();

    if (ws && !fullWorksheet_) {
        // Widen to the right while the last text of a row runs past the last column.
        auto colPx = [&](int c) {
            const grid::ColumnSize cs = grid::columnSize(*ws, c);
            return cs.hidden ? 0 : toPixels(cs.width / ColumnUnitsPerPixel);
        };
        int widened = cols;
        for (int r = 0; r < ws->cells.rowCount(); ++r) {
            const TCells::Row* row = ws->cells.row(r);
            if (!row || row->empty())
                continue;
            // The last cell that shows something: formatted blanks after a text do not
            // stop it from running on.
            const TCellRecord* last = nullptr;
            SheetModel::CellView v;
            for (auto it = row->rbegin(); it != row->rend() && !last; ++it) {
                v = model_->view(r, (*it)->col());
                if (!v.empty)
                    last = it->get();
            }
            if (!last || !SheetDelegate::overflows(v) || delegate_->isMerged(r, last->col()))
                continue;
            const QFontMetrics fm(delegate_->fontOf(v.style));
            int room = 0;
            for (int c = last->col(); c < cols; ++c)
                room += colPx(c);
            // Cheap bound first: most texts fit without measuring.
            if (4 + v.text.size() * fm.maxWidth() <= room)
                continue;
            int need = 4 + fm.horizontalAdvance(v.text);
            int c = last->col();
            int width = 0;
            while (c < MaxColumns && width + colPx(c) < need) {
                width += colPx(c);
                ++c;
            }
            widened = std::max(widened, std::min(c + 1, MaxColumns));
        }
        if (widened != cols) {
            cols = widened;
            model_->reset(rows, cols, &wb);
        }
    }

    if (ws) {
        for (const CellRange& m : ws->mergedRanges()) {
            if (m.firstRow >= rows || m.firstCol >= cols)
                continue;
            const int rs = std::min<int>(m.lastRow, rows - 1) - m.firstRow + 1;
            const int cs = std::min<int>(m.lastCol, cols - 1) - m.firstCol + 1;
            if (rs > 1 || cs > 1)
                setSpan(m.firstRow, m.firstCol, rs, cs);
        }
    }

    // WINDOW2: grid lines (0x0002) and headings (0x0004); both shown without one.
    const std::uint16_t flags = ws && ws->window2 ? ws->window2->flags()
                                                  : (TWindow2Record::ShowGridLines | TWindow2Record::ShowHeadings);
    showGridLines_ = flags & TWindow2Record::ShowGridLines;
    showHeadings_ = flags & TWindow2Record::ShowHeadings;

    recalcSizes();
    if (!useFixedCells_)
        setCurrentIndex(model_->index(0, 0));
    viewport()->update();
}

void TXlsGrid::recalcSizes()
{
    const TWorkSheet* ws = sheet();
    const int defaultRowPx = toPixels((ws ? ws->defaultRowHeight : TWorkSheet::DefaultRowHeight) / TwipsPerPixel);
    const int defaultColPx = toPixels((ws ? ws->defaultColumnWidth : TWorkSheet::DefaultColumnWidth) / ColumnUnitsPerPixel);
    QHeaderView* vh = verticalHeader();
    QHeaderView* hh = horizontalHeader();
    vh->setDefaultSectionSize(std::max(defaultRowPx, 0));
    hh->setDefaultSectionSize(std::max(defaultColPx, 0));
    if (showHeadings_ && loaded_) {
        vh->setVisible(true);
        hh->setVisible(true);
        vh->setFixedWidth(toPixels(HeaderColumnPixels));
        hh->setFixedHeight(defaultRowPx);
    } else if (loaded_) {
        vh->setVisible(false);
        hh->setVisible(false);
    }
    if (!ws)
        return;
    const int rows = model_->rowCount(), cols = model_->columnCount();
    for (int c = 0; c < cols; ++c) {
        const grid::ColumnSize cs = grid::columnSize(*ws, c);
        setColumnHidden(c, cs.hidden);
        if (!cs.hidden)
            setColumnWidth(c, toPixels(cs.width / ColumnUnitsPerPixel));
    }
    // Only rows with a ROW record can differ from the default height.
    const int withRecords = std::min(rows, ws->cells.rowRecordCount());
    for (int r = 0; r < withRecords; ++r) {
        if (!ws->cells.rowRecord(r))
            continue;
        const grid::RowSize rs = grid::rowSize(*ws, r);
        if (rs.hidden) {
            setRowHidden(r, true);
            continue;
        }
        if (isRowHidden(r))
            setRowHidden(r, false);
        const int px = toPixels(rs.height / TwipsPerPixel);
        if (px != vh->sectionSize(r))
            setRowHeight(r, px);
    }
}

void TXlsGrid::SetZoom(int v)
{
    StoreLayout();
    zoom_ = std::clamp(v, MinZoom, MaxZoom);
    recalcSizes();
    viewport()->update();
    emit ZoomChanged(v);
}

void TXlsGrid::StoreLayout()
{
    endEdit();
    TWorkSheet* ws = sheet();
    if (!ws)
        return;
    const double zf = ZoomFactor();
    const int rows = model_->rowCount(), cols = model_->columnCount();
    for (int r = 0; r < rows; ++r) {
        if (isRowHidden(r))
            continue;
        const int px = rowHeight(r);
        if (px != toPixels(grid::rowSize(*ws, r).height / TwipsPerPixel))
            grid::setRowHeight(*ws, r, static_cast<std::uint16_t>(std::lround(px * TwipsPerPixel / zf)));
    }
    for (int c = 0; c < cols; ++c) {
        if (isColumnHidden(c))
            continue;
        const int px = columnWidth(c);
        if (px != toPixels(grid::columnSize(*ws, c).width / ColumnUnitsPerPixel))
            grid::setColumnWidth(*ws, c, static_cast<std::uint32_t>(std::lround(px * ColumnUnitsPerPixel / zf)));
    }
}

int TXlsGrid::RowCount() const
{
    return model_->rowCount() + 1;
}

int TXlsGrid::ColCount() const
{
    return model_->columnCount() + 1;
}

int TXlsGrid::ColumnPixels(int col) const
{
    return isColumnHidden(col - 1) ? 0 : columnWidth(col - 1);
}

int TXlsGrid::RowPixels(int row) const
{
    return isRowHidden(row - 1) ? 0 : rowHeight(row - 1);
}

int TXlsGrid::HeaderColumnWidth() const
{
    return showHeadings_ ? toPixels(HeaderColumnPixels) : 0;
}

int TXlsGrid::HeaderRowHeight() const
{
    if (!showHeadings_)
        return 0;
    const TWorkSheet* ws = sheet();
    return toPixels((ws ? ws->defaultRowHeight : TWorkSheet::DefaultRowHeight) / TwipsPerPixel);
}

QString TXlsGrid::ColumnTitle(int col)
{
    // "A".."Z", then the letter of (col - 1) div 26 and the letter of (col - 1) mod 26.
    if (col <= 26)
        return QString(QChar(u'A' + col - 1));
    return QString(QChar(u'A' + (col - 1) / 26 - 1)) + QChar(u'A' + (col - 1) % 26);
}

QString TXlsGrid::CellText(int row, int col) const
{
    return model_->view(row - 1, col - 1).text;
}

QString TXlsGrid::EditText(int row, int col) const
{
    return model_->editText(row - 1, col - 1);
}

namespace {

// The XF like `baseXf` with number format `code`: an existing FORMAT record or built-in
// format of that code, else a new FORMAT record; an existing XF that differs only in its
// format, else a copy of `baseXf`.
int xfWithFormat(TWorkbook& wb, int baseXf, const std::u16string& code)
{
    TWorkbookGlobals& g = wb.globals();
    const numfmt::CellFormatter formats(wb);
    int index = -1;
    int highest = 163; // user formats start at 164
    for (const auto& rec : g.formats) {
        if (rec->bodySize() < 2)
            continue;
        const int i = getU16(rec->body().data());
        highest = std::max(highest, i);
        if (index < 0 && formats.formatCode(i) == code)
            index = i;
    }
    for (int i = 0; index < 0 && i <= 49; ++i)
        if (numfmt::builtinFormat(i) == code)
            index = i;
    if (index < 0) {
        index = highest + 1;
        std::vector<std::uint8_t> body(2);
        putU16(body.data(), static_cast<std::uint16_t>(index));
        const std::vector<std::uint8_t> s = TExcelString::fromText(code).storedForm();
        body.insert(body.end(), s.begin(), s.end());
        g.formats.push_back(createRecord(rid::Format, ByteSpan(body.data(), body.size())));
    }
    if (baseXf < 0 || baseXf >= static_cast<int>(g.xfs.size()))
        baseXf = DefaultCellXF;
    if (baseXf >= static_cast<int>(g.xfs.size()))
        return baseXf;
    std::vector<std::uint8_t> wanted(g.xfs[static_cast<std::size_t>(baseXf)]->body().begin(),
                                     g.xfs[static_cast<std::size_t>(baseXf)]->body().end());
    if (wanted.size() < 4)
        return baseXf;
    putU16(wanted.data() + 2, static_cast<std::uint16_t>(index));
    for (std::size_t i = 0; i < g.xfs.size(); ++i) {
        const ByteSpan b = g.xfs[i]->body();
        if (std::equal(b.begin(), b.end(), wanted.begin(), wanted.end()))
            return static_cast<int>(i);
    }
    g.xfs.push_back(createRecord(rid::Xf, ByteSpan(wanted.data(), wanted.size())));
    return static_cast<int>(g.xfs.size()) - 1;
}

} // namespace

void TXlsGrid::AcceptEdit(int row, int col, const QString& text)
{
    TWorkSheet* ws = sheet();
    if (!ws)
        return;
    TWorkbook& wb = import_->File()->workbook();
    const int r = row - 1, c = col - 1;
    if (r < 0 || r >= MaxRows || c < 0 || c >= MaxColumns)
        return;
    const TCellRecord* existing = ws->cells.cell(r, c);
    const int xf = existing ? existing->xf() : defaultFormat(*ws, r, c);

    bool stored = false;
    if (text.startsWith(u'=')) {
        try {
            formula::setCellFormula(wb, *ws, r, c, u16(text), xf);
            stored = true;
        } catch (const formula::FormulaTextError&) {
            // Not a formula after all: the text is taken as a value, without a message.
        }
    }
    if (!stored) {
        const grid::Entry e = grid::interpretEntry(text, QLocale());
        if (const double* v = std::get_if<double>(&e)) {
            setCellValue(*ws, wb.sst(), r, c, *v, -1);
        } else if (const bool* b = std::get_if<bool>(&e)) {
            setCellValue(*ws, wb.sst(), r, c, *b, -1);
        } else if (const grid::DateTimeEntry* d = std::get_if<grid::DateTimeEntry>(&e)) {
            const int dateXf = xfWithFormat(wb, xf, u16(d->formatCode));
            setCellValue(*ws, wb.sst(), r, c, d->serial, dateXf);
            model_->formatsChanged();
        } else {
            setCellValue(*ws, wb.sst(), r, c, u16(std::get<QString>(e)), -1);
        }
    }
    const QModelIndex i = model_->index(r, c);
    emit model_->dataChanged(i, i);
    viewport()->update();
}

void TXlsGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    for (const QModelIndex& i : {previous, current}) {
        if (!i.isValid())
            continue;
        emit model_->headerDataChanged(Qt::Horizontal, i.column(), i.column());
        emit model_->headerDataChanged(Qt::Vertical, i.row(), i.row());
    }
}

void TXlsGrid::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (pictures_.empty())
        return;
    QPainter p(viewport());
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
        const grid::Picture& pic = pictures_[i];
        if (images_[i].isNull() || pic.col1 >= model_->columnCount() || pic.row1 >= model_->rowCount())
            continue;
        // Anchor offsets: columns in 1/1024 of the column width, rows in 1/255 of the height.
        auto x = [&](int col, int dx) {
            col = std::min(col, model_->columnCount() - 1);
            return columnViewportPosition(col) + columnWidth(col) * std::min(dx, 1024) / 1024;
        };
        auto y = [&](int row, int dy) {
            row = std::min(row, model_->rowCount() - 1);
            return rowViewportPosition(row) + rowHeight(row) * std::min(dy, 255) / 255;
        };
        const QRect target(QPoint(x(pic.col1, pic.dx1), y(pic.row1, pic.dy1)),
                           QPoint(x(pic.col2, pic.dx2) - 1, y(pic.row2, pic.dy2) - 1));
        if (target.isValid() && target.intersects(viewport()->rect()))
            p.drawImage(target, images_[i]);
    }
}

} // namespace quorvane::xls
