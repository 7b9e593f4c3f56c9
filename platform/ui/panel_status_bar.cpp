#include "platform/ui/panel_status_bar.h"

#include <QLabel>

namespace quorvane::ui {

PanelStatusBar::PanelStatusBar(QWidget* parent, std::initializer_list<int> widths) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    int i = 0;
    for (int w : widths) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("panel%1").arg(i++));
        label->setFixedWidth(w);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        addWidget(label);
        panels_.push_back(label);
    }
}

void PanelStatusBar::setPanelText(int panel, const std::string& text)
{
    QLabel* label = panels_.at(static_cast<std::size_t>(panel));
    label->setText(QString::fromStdString(text));
    // The command runs on the user-interface thread: nothing else would paint it.
    label->repaint();
}

QString PanelStatusBar::panelText(int panel) const { return panels_.at(static_cast<std::size_t>(panel))->text(); }

} // namespace quorvane::ui
