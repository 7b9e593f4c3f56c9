// quorvane-batch chart spline|compare OUT.png: the chart of the spline window's
// Graph tab, or of the comparative graphs window, as a picture. The real window
// is built and shown off screen, loads its tables as it does for a person, and
// its chart is drawn into the file: the same chart code, not a copy of it.
#include <charconv>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QString>
#include <QTabWidget>

#include "cli/cli.h"
#include "graphs/graphs_window.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/dialogs.h"
#include "spline/window/spline_fit.h"

namespace quorvane::cli {

namespace {

/// Messages and warnings of the windows go to standard error; no dialog is answered.
class StreamDialogs final : public ui::DialogService {
public:
    explicit StreamDialogs(std::ostream& err) : err_(err) { ui::setDialogs(this); }
    ~StreamDialogs() override { ui::setDialogs(nullptr); }
    void message(QWidget*, const QString& text) override { err_ << text.toStdString() << '\n'; }
    void warning(QWidget*, const QString& text) override { err_ << text.toStdString() << '\n'; }
    std::optional<QString> openFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
    std::optional<QString> saveFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
    bool printerSetup(QWidget*, QPrinter&) override { return false; }

private:
    std::ostream& err_;
};

int pixels(const Options& opts, const char* name, int fallback)
{
    const std::string* v = opts.value(name);
    if (!v)
        return fallback;
    int n = 0;
    const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
    if (ec != std::errc() || end != v->data() + v->size() || n < 100 || n > 10000)
        throw UsageError(std::string("--") + name + " takes a number of pixels from 100 to 10000");
    return n;
}

/// Shows the window, lets it load its tables and lay itself out, and draws the chart.
void drawChart(QDialog& window, QTabWidget* tabs, QWidget* page, const std::string& path, int width, int height)
{
    window.resize(width, height);
    window.show();
    QCoreApplication::processEvents();
    if (!window.isVisible())
        throw Error("The window could not load its tables from the internal files");
    tabs->setCurrentWidget(page); // as a click on the tab does, with the window's page rules
    QCoreApplication::processEvents();
    auto* chart = page->findChild<ui::DBChart*>();
    if (!chart)
        throw Error("The window's page has no chart");
    if (!chart->savePng(QString::fromStdString(path), width, height))
        throw Error("Cannot write the picture \"" + path + "\"");
    window.hide();
}

} // namespace

int chartCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {"width", "height"}, {});
    if (opts.positional().size() != 2)
        throw UsageError("chart needs spline or compare and a picture file");
    const std::string& kind = opts.positional()[0];
    if (kind != "spline" && kind != "compare")
        throw UsageError("chart draws spline or compare, not " + kind);
    const int width = pixels(opts, "width", 1100);
    const int height = pixels(opts, "height", 700);

    // Off screen unless there is a display to use.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "quorvane-batch";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QApplication>(argc, argv);

    StreamDialogs dialogs(ctx.err);
    if (kind == "spline") {
        spline::TfmSplineFit window(ctx.dm);
        drawChart(window, window.pcSpline, window.tsGraph, opts.positional()[1], width, height);
    } else {
        graphs::TfmGraphs window(ctx.dm);
        drawChart(window, window.pcSpline, window.tsGraph, opts.positional()[1], width, height);
    }
    ctx.out << opts.positional()[1] << '\t' << width << 'x' << height << '\n';
    return 0;
}

} // namespace quorvane::cli
