// Pictures of the real windows for the user guide: each window is built, shown
// (off screen when there is no display) and drawn into a PNG, on the tables the
// headless demo leaves.
//
//   quorvane-screenshots DEMO_DIR EXAMPLE.xls OUT_DIR
//
// DEMO_DIR holds the demo's Quorvane.INI and internal/ folder (scripts/demo).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>

#include <QApplication>
#include <QPixmap>
#include <QTabWidget>

#include "app/main_window.h"
#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "graphs/graphs_window.h"
#include "import/window/sheet_import_window.h"
#include "movav/window/movav_window.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "spline/window/spline_fit.h"

namespace {

using namespace quorvane;

/// Answers the open dialog with the example workbook; messages go to standard error.
class Answers final : public ui::DialogService {
public:
    explicit Answers(QString workbook) : workbook_(std::move(workbook)) { ui::setDialogs(this); }
    ~Answers() override { ui::setDialogs(nullptr); }
    void message(QWidget*, const QString& t) override { std::fprintf(stderr, "%s\n", qPrintable(t)); }
    void warning(QWidget*, const QString& t) override { std::fprintf(stderr, "%s\n", qPrintable(t)); }
    std::optional<QString> openFile(QWidget*, const ui::FileDialogOptions&) override { return workbook_; }
    std::optional<QString> saveFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
    bool printerSetup(QWidget*, QPrinter&) override { return false; }

private:
    QString workbook_;
};

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, 0);
        QCoreApplication::processEvents();
    }
}

void save(QWidget& w, const QString& dir, const char* name)
{
    settle();
    const QString path = dir + "/" + name + ".png";
    if (!w.grab().save(path))
        throw std::runtime_error("cannot write " + path.toStdString());
    std::printf("%s\n", qPrintable(path));
}

/// Each tab in turn; `onData` runs when the Data tab is in view (its grids are bound
/// by its buttons, as a person would press them).
void tabs(QWidget& w, QTabWidget* pages, const QString& dir, const std::string& prefix,
          const std::function<void()>& onData = {})
{
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        if (onData && pages->tabText(i) == QStringLiteral("Data"))
            onData();
        const std::string name = prefix + "-" + pages->tabText(i).toLower().replace(' ', '-').toStdString();
        save(w, dir, name.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: quorvane-screenshots DEMO_DIR EXAMPLE.xls OUT_DIR\n");
        return 2;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);
    const std::string demo = argv[1];
    const QString out = QString::fromLocal8Bit(argv[3]);
    try {
        setSettingsFilePath(demo + "/Quorvane.INI");
        LoadSettings(settingsStore(), settingsFilePath());
        settingsStore().setText(key::InternalFiles, demo + "/internal");
        Answers answers(QString::fromLocal8Bit(argv[2]));
        data::TdmSea dm;
        data::setDmSea(&dm);

        {
            app::TfmMain w;
            w.show();
            settingsStore().setText(key::InternalFiles, demo + "/internal"); // the window reloaded the file
            save(w, out, "main");
            w.hide();
        }
        {
            spline::TfmSplineFit w(dm);
            w.resize(1000, 640);
            w.show();
            settle();
            w.bbDefineClick();
            tabs(w, w.pcSpline, out, "spline", [&w] {
                w.bbSeaRawAvClick();
                w.bbSeaSplClick();
                w.bbSeaSplPClick();
                w.bbShowIncrementsClick();
            });
            w.hide();
        }
        {
            movav::TfmMovAv w(dm);
            w.resize(1000, 640);
            w.show();
            settle();
            w.bbDefineClick();
            tabs(w, w.pcMovAv, out, "movav");
            w.hide();
        }
        {
            graphs::TfmGraphs w(dm);
            w.resize(1000, 640);
            w.show();
            tabs(w, w.pcSpline, out, "graphs", [&w] {
                w.bbSeaRawAvClick();
                w.bbSeaSplClick();
                w.bbSeaSplPClick();
            });
            w.hide();
        }
        {
            TfmSheetImport w(dm);
            w.resize(900, 560);
            w.show();
            settle();
            w.bbOpenSheetClick();
            save(w, out, "import");
            w.hide();
        }
        data::setDmSea(nullptr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
