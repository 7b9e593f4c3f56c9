#include "platform/ui/application.h"

#include <memory>

#include "platform/ui/dialogs.h"

namespace quorvane::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quorvane"));
    setApplicationDisplayName(QStringLiteral("Quorvane"));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showError(e);
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
    return false;
}

void showError(const std::exception& error) { showError(QString::fromUtf8(error.what())); }

void showError(const QString& text) { dialogs().message(QApplication::activeWindow(), text); }

QPrinter& appPrinter()
{
    // Created on first use: a QPrinter needs the application object.
    static std::unique_ptr<QPrinter> printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer;
}

} // namespace quorvane::ui
