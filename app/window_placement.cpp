#include "app/window_placement.h"

#include <QDialog>
#include <QWidget>

#include "app/settings/settings_store.h"

namespace quorvane::app {

void applyPosition(QWidget& window, std::string_view prefix)
{
    const PositionKeys k = positionKeys(prefix);
    const SettingsStore& s = settingsStore();
    // Left and Top place the frame; Height and Width size the window itself.
    const int left = s.integer(k.left);
    const int top = s.integer(k.top);
    window.move(left, top);
    const int height = s.integer(k.height);
    const int width = s.integer(k.width);
    window.resize(width, height);
}

void storePosition(const QWidget& window, std::string_view prefix)
{
    const PositionKeys k = positionKeys(prefix);
    SettingsStore& s = settingsStore();
    s.setInteger(k.left, window.x());
    s.setInteger(k.top, window.y());
    s.setInteger(k.height, window.height());
    s.setInteger(k.width, window.width());
}

int runPlacedDialog(QWidget* owner, std::string_view prefix, const DialogFactory& create)
{
    // The unique_ptr destroys the window on every way out, errors included.
    std::unique_ptr<QDialog> window = create(owner);
    applyPosition(*window, prefix);
    const int result = window->exec();
    if (result == QDialog::Accepted)
        storePosition(*window, prefix);
    return result;
}

} // namespace quorvane::app
