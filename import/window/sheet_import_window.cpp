#include "import/window/sheet_import_window.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/settings/settings_store.h"
#include "app/window_placement.h"
#include "data/dm_sea.h"
#include "import/sheet_import.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/panel_status_bar.h"
#include "work/nspl.h"
#include "xls/grid/xlsgrid.h"
#include "xls/text.h"

namespace quorvane {

namespace {

/// The grid's zoom while the window shows a sheet, in percent.
constexpr int SheetZoom = 70;

template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string str(const QLineEdit* e) { return e->text().toStdString(); }

} // namespace

TfmSheetImport::TfmSheetImport(data::TdmSea& tables, QWidget* parent) : QDialog(parent), dm_(tables)
{
    xlsAdapter1_.SetAllowOverwritingFiles(false); // the workbook is never written back
    xlsImport_.SetAdapter(&xlsAdapter1_);
    build();
}

TfmSheetImport::~TfmSheetImport()
{
    // The grid goes first: an edit still open in it is committed while the workbook it
    // writes into is alive (the reader, a member, is freed before the child widgets).
    delete Data;
    Data = nullptr;
}

// ---- layout -----------------------------------------------------------------------

void TfmSheetImport::build()
{
    setObjectName(QStringLiteral("TfmSheetImport"));
    setWindowTitle(QString::fromLatin1(text::SheetImportCaption));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Panel1: Cancel, Open and OK, left to right, in a bevelled bar across the top.
    Panel1 = named(new QFrame(this), "Panel1");
    static_cast<QFrame*>(Panel1)->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedHeight(33);
    auto* bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(4, 2, 4, 2);
    bbCancel = named(new QPushButton(QStringLiteral("Cancel"), Panel1), "bbCancel");
    bbOpenSheet = named(new QPushButton(QStringLiteral("&Open"), Panel1), "bbOpenSheet");
    bbImport = named(new QPushButton(QStringLiteral("OK"), Panel1), "bbImport");
    for (QPushButton* b : {bbCancel, bbOpenSheet, bbImport}) {
        b->setAutoDefault(false);
        bar->addWidget(b);
    }
    bbImport->setDefault(true); // Enter presses OK
    bar->addStretch();
    root->addWidget(Panel1);

    // TabControl: the sheet grid above one tab per sheet.
    TabControl = named(new QWidget(this), "TabControl");
    auto* tabLayout = new QVBoxLayout(TabControl);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(0);
    Data = named(new xls::TXlsGrid(TabControl), "Data");
    Data->SetXlsImport(&xlsImport_);
    Data->SetReadOnly(false); // cells and formulas can be edited, in memory only
    Data->SetHideCursor(false);
    Data->SetFormulaReadOnly(false);
    Data->SetFullWorksheet(false);
    Data->SetPrintLineWidth(0);
    Data->SetUseFixedCells(false);
    // The widths before a sheet is loaded: a 48-pixel header column, then 220 pixels.
    Data->verticalHeader()->setFixedWidth(48);
    Data->horizontalHeader()->setDefaultSectionSize(220);
    tabLayout->addWidget(Data, 1);
    TabControlTabs = named(new QTabBar(TabControl), "TabControlTabs");
    TabControlTabs->setShape(QTabBar::RoundedSouth);
    TabControlTabs->setExpanding(false);
    tabLayout->addWidget(TabControlTabs);
    root->addWidget(TabControl, 1);

    // Panel3: the sheet list and the rows to import.
    Panel3 = named(new QWidget(this), "Panel3");
    Panel3->setFixedHeight(55);
    auto* p3 = new QHBoxLayout(Panel3);
    p3->setContentsMargins(2, 0, 2, 0);
    gbDefineTabSheet = named(new QGroupBox(QStringLiteral("Define sheet from which to import"), Panel3),
                             "gbDefineTabSheet");
    auto* sheetLayout = new QHBoxLayout(gbDefineTabSheet);
    cbSheetName = named(new QComboBox(gbDefineTabSheet), "cbSheetName");
    cbSheetName->setEditable(false); // only a listed sheet can be chosen
    cbSheetName->setMinimumContentsLength(16);
    sheetLayout->addWidget(cbSheetName);
    p3->addWidget(gbDefineTabSheet);

    gbDefineRows = named(new QGroupBox(QStringLiteral("Define rows to import"), Panel3), "gbDefineRows");
    auto* rows = new QHBoxLayout(gbDefineRows);
    eFromRow = named(new QLineEdit(gbDefineRows), "eFromRow");
    eToRow = named(new QLineEdit(gbDefineRows), "eToRow");
    sbFindLastRow = named(new QToolButton(gbDefineRows), "sbFindLastRow");
    sbFindLastRow->setText(QStringLiteral("..."));
    sbFindLastRow->setToolTip(QString::fromLatin1(text::FindEndOfFile));
    rows->addWidget(new QLabel(QStringLiteral("From row"), gbDefineRows));
    rows->addWidget(eFromRow);
    rows->addWidget(new QLabel(QStringLiteral("To row"), gbDefineRows));
    rows->addWidget(eToRow);
    rows->addWidget(sbFindLastRow);
    p3->addWidget(gbDefineRows);
    p3->addStretch();
    root->addWidget(Panel3);

    // gbDefineFields: a column entry per field. Its hint is not shown on hover.
    gbDefineFields = named(new QGroupBox(QStringLiteral("Define fields"), this), "gbDefineFields");
    gbDefineFields->setFixedHeight(120);
    gbDefineFields->setWhatsThis(QString::fromLatin1(text::DefineFieldsHint));
    auto* fields = new QGridLayout(gbDefineFields);
    fields->addWidget(new QLabel(QStringLiteral("Column"), gbDefineFields), 0, 1);
    eX = named(new QLineEdit(gbDefineFields), "eX");
    eY = named(new QLineEdit(gbDefineFields), "eY");
    eYerr = named(new QLineEdit(gbDefineFields), "eYerr");
    const char* labels[] = {"Age", "Y variable", "Y variable uncertainty"};
    QLineEdit* edits[] = {eX, eY, eYerr};
    for (int i = 0; i < 3; ++i) {
        fields->addWidget(new QLabel(QString::fromLatin1(labels[i]), gbDefineFields), i + 1, 0);
        edits[i]->setFixedWidth(40);
        fields->addWidget(edits[i], i + 1, 1);
    }
    fields->addWidget(new QLabel(QStringLiteral("(1 sigma)"), gbDefineFields), 3, 2);
    fields->setColumnStretch(3, 1);
    root->addWidget(gbDefineFields);

    sbSheet = named(new ui::PanelStatusBar(this, {100, 50}), "sbSheet");
    root->addWidget(sbSheet);

    connect(bbCancel, &QPushButton::clicked, this, &TfmSheetImport::bbCancelClick);
    connect(bbOpenSheet, &QPushButton::clicked, this, &TfmSheetImport::bbOpenSheetClick);
    connect(bbImport, &QPushButton::clicked, this, &TfmSheetImport::bbImportClick);
    connect(sbFindLastRow, &QToolButton::clicked, this, &TfmSheetImport::sbFindLastRowClick);
    connect(TabControlTabs, &QTabBar::currentChanged, this, &TfmSheetImport::TabControlChange);
    connect(cbSheetName, &QComboBox::currentIndexChanged, this, &TfmSheetImport::cbSheetNameChange);
}

void TfmSheetImport::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

// ---- handlers ---------------------------------------------------------------------

void TfmSheetImport::FormShow()
{
    for (QWidget* w : {TabControl, static_cast<QWidget*>(bbImport), static_cast<QWidget*>(gbDefineFields),
                       static_cast<QWidget*>(gbDefineRows)})
        w->hide();
    const SettingsStore& s = settingsStore();
    eFromRow->setText(qs(s.text(key::FromRow)));
    eToRow->setText(qs(s.text(key::ToRow)));
    eX->setText(qs(s.text(key::XColumn)));
    eY->setText(qs(s.text(key::YColumn)));
    eYerr->setText(qs(s.text(key::YErrColumn)));
    bbOpenSheetClick();
}

void TfmSheetImport::bbOpenSheetClick()
{
    {
        // Emptying the selectors programmatically is no change of sheet.
        const QSignalBlocker tabs(TabControlTabs), list(cbSheetName);
        while (TabControlTabs->count() > 0)
            TabControlTabs->removeTab(0);
        cbSheetName->clear();
    }

    ui::FileDialogOptions o;
    o.filter = OpenDialogSprdSheet.filter;
    o.defaultSuffix = OpenDialogSprdSheet.defaultExt;
    o.fileName = OpenDialogSprdSheet.fileName;
    o.initialFolder = qs(settingsStore().text(key::DataImportPath));
    const std::optional<QString> chosen = ui::dialogs().openFile(this, o);
    if (!chosen)
        return;
    OpenDialogSprdSheet.fileName = *chosen;
    const QString folder = QFileInfo(*chosen).absolutePath();
    settingsStore().setText(key::DataImportPath, (folder.endsWith('/') ? folder : folder + '/').toStdString());

    try {
        xlsImport_.OpenWorkbook(chosen->toStdString());
    } catch (...) {
        // The reader has closed the workbook the grid showed; the grid must not draw it.
        TabControl->hide();
        throw; // to the default error display
    }

    {
        const QSignalBlocker tabs(TabControlTabs), list(cbSheetName);
        for (int i = 1; i <= xlsImport_.SheetCount(); ++i) {
            xlsImport_.SetActiveSheet(i);
            TabControlTabs->addTab(QString::fromStdU16String(xlsImport_.SheetName()));
            cbSheetName->addItem(QString::fromStdU16String(xlsImport_.SheetName()));
        }
        xlsImport_.SetActiveSheet(1);
        TabControlTabs->setCurrentIndex(xlsImport_.ActiveSheet() - 1);
        cbSheetName->setCurrentIndex(xlsImport_.ActiveSheet() - 1);
    }
    Data->LoadSheet();
    Data->SetZoom(SheetZoom);

    for (QWidget* w : {static_cast<QWidget*>(bbImport), static_cast<QWidget*>(gbDefineFields), TabControl,
                       static_cast<QWidget*>(gbDefineRows)})
        w->show();
    // The tabs were added while the strip was hidden, which leaves its layout with the
    // height of an empty strip.
    TabControlTabs->updateGeometry();
    sbFindLastRowClick();
}

void TfmSheetImport::changeSheet(int position)
{
    // The sheet being left keeps a pending edit and the sizes the user dragged.
    Data->StoreLayout();
    xlsImport_.SetActiveSheet(position + 1);
    {
        // The other selector follows without running its own change.
        const QSignalBlocker tabs(TabControlTabs), list(cbSheetName);
        TabControlTabs->setCurrentIndex(position);
        cbSheetName->setCurrentIndex(position);
    }
    // The grid stores into the sheet it shows, so the zoom's own StoreLayout leaves the
    // newly active sheet's sizes alone: every sheet keeps its own layout.
    Data->SetZoom(SheetZoom);
    Data->LoadSheet();
    sbFindLastRowClick();
}

void TfmSheetImport::TabControlChange() { changeSheet(TabControlTabs->currentIndex()); }

void TfmSheetImport::cbSheetNameChange() { changeSheet(cbSheetName->currentIndex()); }

void TfmSheetImport::sbFindLastRowClick()
{
    ImportNumbers& numbers = importNumbers();
    try {
        findLastRow(xlsImport_, ColumnNumber(str(eX)), numbers.toRow);
        eToRow->setText(QString::number(numbers.toRow));
    } catch (const std::exception&) {
        // no workbook, an empty or invalid column, the end of the sheet: the field keeps its text
    }
}

void TfmSheetImport::bbImportClick()
{
    // An edit still open in the grid is committed first: the sheet imported is the
    // sheet shown, whether or not pressing OK took the focus from the editor.
    Data->StoreLayout();
    const ImportEntries entries{str(eFromRow), str(eToRow), str(eX), str(eY), str(eYerr)};
    storeImportEntries(settingsStore(), entries);
    SheetImportRange range;
    try {
        range = convertImportEntries(entries, importNumbers()); // a range error goes to the default display
    } catch (const ImportEntryError& e) {
        ui::dialogs().message(this, QString::fromUtf8(e.what()));
        return;
    }

    // An import has started: the window closes with OK however this ends.
    struct CloseWithOk {
        QDialog& window;
        ~CloseWithOk() { window.done(QDialog::Accepted); }
    } close{*this};
    SheetImport import(xlsImport_, dm_.cdsSeaRaw, dm_.cdsDeltaT, settingsStore().text(key::InternalFiles), *sbSheet);
    import.run(range);
}

void TfmSheetImport::bbCancelClick() { reject(); }

// ---- the callers' procedure ---------------------------------------------------------

int openSheetImport(QWidget* owner, data::TdmSea& tables, const QString& fileName)
{
    const int result = app::runPlacedDialog(owner, "Sheet", [&](QWidget* parent) {
        auto window = std::make_unique<TfmSheetImport>(tables, parent);
        window->OpenDialogSprdSheet.fileName = fileName;
        return std::unique_ptr<QDialog>(std::move(window));
    });
    const int n = 2 * tables.cdsSeaRaw.rowCount();
    NSpl() = n < 1 ? DefaultNSpl : n;
    return result;
}

} // namespace quorvane
