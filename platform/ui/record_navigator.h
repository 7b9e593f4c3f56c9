#pragma once
// A record navigator bound to a curve table: a row of buttons that move the
// table's cursor and edit its rows. Which buttons it shows is configurable;
// each button is enabled only when its action makes sense in the table's state
// (no "Next" on the last row, "Post" and "Cancel" only while a row is edited).
#include <QWidget>
#include <array>
#include <vector>

#include "data/curve_table.h"

class QToolButton;

namespace quorvane::ui {

enum class NavButton { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
inline constexpr int NavButtonCount = 10;

class DBNavigator final : public QWidget, public data::TableObserver {
    Q_OBJECT
public:
    /// All ten buttons, in the order of NavButton.
    static std::vector<NavButton> allButtons();
    /// First, prior, next and last only.
    static std::vector<NavButton> moveButtons();

    explicit DBNavigator(QWidget* parent = nullptr);
    ~DBNavigator() override;

    void setVisibleButtons(const std::vector<NavButton>& buttons);
    /// Binds to `table` (not owned); nullptr unbinds and disables every button.
    void setTable(data::CurveTable* table);
    data::CurveTable* table() const noexcept { return table_; }

    /// The button for an action; its objectName is "nb" plus the action ("nbFirst").
    QToolButton* button(NavButton which) const { return buttons_[static_cast<std::size_t>(which)]; }
    /// Runs an action as a click would; a refusal of the table is shown by the
    /// default error display.
    void click(NavButton which);

    void tableChanged() override { updateButtons(); }
signals:
    /// After every click: an insert, edit or cancel changes what a grid on the
    /// same table must show without changing the table's rows.
    void actionDone(quorvane::ui::NavButton which);

public:
    void cursorMoved() override { updateButtons(); }

private:
    void run(NavButton which);
    void updateButtons();

    data::CurveTable* table_ = nullptr;
    std::array<QToolButton*, NavButtonCount> buttons_{};
};

} // namespace quorvane::ui
