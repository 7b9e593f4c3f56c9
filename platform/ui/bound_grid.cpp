#include "platform/ui/bound_grid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>

#include "platform/ui/application.h"

namespace quorvane::ui {

namespace {

QLocale editLocale()
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace

char displayDecimalPoint()
{
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : '.';
}

CurveTableModel::CurveTableModel(QObject* parent) : QAbstractTableModel(parent) {}

CurveTableModel::~CurveTableModel()
{
    if (table_)
        table_->removeObserver(this);
}

void CurveTableModel::setTable(data::CurveTable* table)
{
    if (table == table_)
        return;
    beginResetModel();
    if (table_)
        table_->removeObserver(this);
    table_ = table;
    if (table_)
        table_->addObserver(this);
    snapshot();
    endResetModel();
}

void CurveTableModel::snapshot()
{
    // Row and column counts are taken once per change: the view asks for them
    // far more often than the table changes.
    decimalPoint_ = displayDecimalPoint();
    if (!table_) {
        rows_ = columns_ = 0;
        return;
    }
    columns_ = table_->fieldCount();
    rows_ = table_->isOpen() ? table_->rowCount() : 0;
    if (table_->isOpen() && table_->state() == data::CurveTable::State::Insert)
        ++rows_;
}

bool CurveTableModel::isPendingRow(int row) const
{
    return table_->state() == data::CurveTable::State::Insert && row == rows_ - 1;
}

int CurveTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int CurveTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant CurveTableModel::data(const QModelIndex& index, int role) const
{
    if (!table_ || !table_->isOpen() || !index.isValid() || index.row() >= rows_ || index.column() >= columns_)
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    const int row = index.row();
    const int field = index.column();
    const bool pending = isPendingRow(row);
    if (pending ? table_->isNull(field) : table_->isNull(row, field))
        return QString();
    const double v = pending ? table_->asFloat(field) : table_->value(row, field);
    const data::FieldDef& def = table_->fields()[static_cast<std::size_t>(field)];
    if (def.type == data::FieldType::SmallInt)
        return QString::number(static_cast<int>(v));
    if (role == Qt::EditRole)
        return editLocale().toString(v, 'g', 15);
    return QString::fromStdString(data::formatDisplay(v, def.displayFormat, decimalPoint_));
}

QVariant CurveTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return {};
    if (!table_ || section < 0 || section >= columns_)
        return {};
    return QString::fromStdString(table_->fields()[static_cast<std::size_t>(section)].name);
}

Qt::ItemFlags CurveTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool CurveTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !table_ || !table_->isOpen() || !index.isValid() || index.row() >= rows_)
        return false;
    try {
        if (isPendingRow(index.row())) {
            // The appended row takes its values as they are typed; Post places it.
            table_->setText(index.column(), value.toString().toStdString());
            emit dataChanged(index, index);
            return true;
        }
        if (table_->state() != data::CurveTable::State::Browse)
            table_->post(); // leaving a row being edited posts it, as moving off it would
        table_->moveTo(index.row());
        table_->edit();
        try {
            table_->setText(index.column(), value.toString().toStdString());
            table_->post();
        } catch (...) {
            table_->cancel();
            throw;
        }
    } catch (const std::exception& e) {
        showError(e);
        return false;
    }
    return true;
}

void CurveTableModel::tableChanged()
{
    beginResetModel();
    snapshot();
    endResetModel();
    cursorMoved();
}

void CurveTableModel::cursorMoved()
{
    if (table_ && table_->isOpen())
        emit cursorRowChanged(table_->recNo());
}

DBGrid::DBGrid(QWidget* parent) : QTableView(parent)
{
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Fixed row height: tens of thousands of rows must not be measured one by one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultSectionSize(fontMetrics().horizontalAdvance(QStringLiteral("00000.00000")) + 8);
    connect(&model_, &CurveTableModel::cursorRowChanged, this, &DBGrid::followCursor);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                // The grid's current row is the table's cursor, so a navigator on the
                // same table acts on the row the user clicked.
                data::CurveTable* t = model_.table();
                if (movingCursor_ || !t || !t->isOpen() || !current.isValid())
                    return;
                if (t->state() != data::CurveTable::State::Browse || t->recNo() == current.row())
                    return;
                movingCursor_ = true;
                t->moveTo(current.row());
                movingCursor_ = false;
            });
}

void DBGrid::setTable(data::CurveTable* table)
{
    model_.setTable(table);
    if (table && table->isOpen())
        followCursor(table->recNo());
}

void DBGrid::setReadOnly(bool readOnly)
{
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                             : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed);
}

void DBGrid::followCursor(int row)
{
    if (movingCursor_ || row < 0 || row >= model_.rowCount())
        return;
    movingCursor_ = true;
    const QModelIndex index = model_.index(row, qMax(0, currentIndex().column()));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
    movingCursor_ = false;
}

} // namespace quorvane::ui
