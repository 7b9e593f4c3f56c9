#pragma once
// The About box.
#include <QDialog>

namespace quorvane::app {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner);
};

} // namespace quorvane::app
