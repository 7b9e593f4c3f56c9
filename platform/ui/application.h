#pragma once
// The application object, with the one default error display: an error that
// leaves an event handler is shown in a plain message box with its text, and
// the application goes on running.
#include <exception>

#include <QApplication>
#include <QPrinter>

namespace quorvane::ui {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

/// Shows an error's text as the default error display does.
void showError(const std::exception& error);
void showError(const QString& text);

/// The application's one printer object: what the printer set-up chooses, and
/// what chart printing prints on.
QPrinter& appPrinter();

} // namespace quorvane::ui
