#pragma once
// Answers a modal dialog in a widget test: polls for the active modal widget and
// runs an action on it. Destroyed at the end of the test, so it can never answer
// the next test's dialog.
#include <functional>

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace quorvane::test {

class ModalGuard {
public:
    explicit ModalGuard(std::function<void(QWidget*)> action) : action_(std::move(action))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* w = QApplication::activeModalWidget(); w && !done_) {
                done_ = true;
                timer_.stop();
                action_(w);
            }
        });
        timer_.start();
    }
    bool answered() const { return done_; }

private:
    std::function<void(QWidget*)> action_;
    QTimer timer_;
    bool done_ = false;
};

} // namespace quorvane::test
