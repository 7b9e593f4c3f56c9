#pragma once
// The status bar of a calculation window: panels of fixed widths, numbered from
// 0, each repainted at once when its text changes, so a command that runs on the
// user-interface thread can report its progress through it as a StatusSink.
#include <QStatusBar>
#include <initializer_list>
#include <vector>

#include "platform/status_sink.h"

class QLabel;

namespace quorvane::ui {

class PanelStatusBar final : public QStatusBar, public StatusSink {
    Q_OBJECT
public:
    PanelStatusBar(QWidget* parent, std::initializer_list<int> widths);
    void setPanelText(int panel, const std::string& text) override;
    QString panelText(int panel) const;
    int panelCount() const { return static_cast<int>(panels_.size()); }
    QLabel* panel(int i) const { return panels_.at(static_cast<std::size_t>(i)); }

private:
    std::vector<QLabel*> panels_;
};

} // namespace quorvane::ui
