#pragma once
// Window positions kept in the settings store under four keys each
// ("<Prefix> Left", "<Prefix> Top", "<Prefix> Height", "<Prefix> Width"), and the
// one procedure by which the main window opens a calculation window.
#include <functional>
#include <memory>
#include <string_view>

class QDialog;
class QWidget;

namespace quorvane::app {

/// Sets Left, Top, Height and Width, in that order, from the four settings values.
/// A position off the visible screen is applied unchanged.
void applyPosition(QWidget& window, std::string_view prefix);
/// Stores the window's current Left, Top, Height and Width into the four values.
void storePosition(const QWidget& window, std::string_view prefix);

using DialogFactory = std::function<std::unique_ptr<QDialog>(QWidget* owner)>;

/// Creates a fresh window owned by `owner`, places it from its four settings
/// values, shows it modally, stores its position back only when it closed with
/// the OK result, and destroys it, also when an error ends these steps early.
/// Returns the dialog's result.
int runPlacedDialog(QWidget* owner, std::string_view prefix, const DialogFactory& create);

} // namespace quorvane::app
