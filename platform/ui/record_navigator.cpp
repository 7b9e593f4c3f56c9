#include "platform/ui/record_navigator.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

#include "platform/ui/application.h"

namespace quorvane::ui {

namespace {

struct ButtonDef {
    const char* name;
    const char* hint;
    const char* glyph;
};

// Index: NavButton.
constexpr ButtonDef Defs[NavButtonCount] = {
    {"nbFirst", "First record", "|<"},  {"nbPrior", "Prior record", "<"},
    {"nbNext", "Next record", ">"},     {"nbLast", "Last record", ">|"},
    {"nbInsert", "Insert record", "+"}, {"nbDelete", "Delete record", "-"},
    {"nbEdit", "Edit record", "^"},     {"nbPost", "Post edit", "\u2713"},
    {"nbCancel", "Cancel edit", "x"},   {"nbRefresh", "Refresh data", "\u21bb"},
};

} // namespace

std::vector<NavButton> DBNavigator::allButtons()
{
    return {NavButton::First, NavButton::Prior,  NavButton::Next, NavButton::Last,   NavButton::Insert,
            NavButton::Delete, NavButton::Edit,  NavButton::Post, NavButton::Cancel, NavButton::Refresh};
}

std::vector<NavButton> DBNavigator::moveButtons()
{
    return {NavButton::First, NavButton::Prior, NavButton::Next, NavButton::Last};
}

DBNavigator::DBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < NavButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(Defs[i].name));
        b->setToolTip(QString::fromLatin1(Defs[i].hint));
        b->setText(QString::fromUtf8(Defs[i].glyph));
        b->setMinimumWidth(25);
        const auto which = static_cast<NavButton>(i);
        connect(b, &QToolButton::clicked, this, [this, which] { click(which); });
        layout->addWidget(b);
        buttons_[static_cast<std::size_t>(i)] = b;
    }
    layout->addStretch(1);
    updateButtons();
}

DBNavigator::~DBNavigator()
{
    if (table_)
        table_->removeObserver(this);
}

void DBNavigator::setVisibleButtons(const std::vector<NavButton>& buttons)
{
    for (QToolButton* b : buttons_)
        b->setVisible(false);
    for (NavButton which : buttons)
        button(which)->setVisible(true);
}

void DBNavigator::setTable(data::CurveTable* table)
{
    if (table_ == table)
        return;
    if (table_)
        table_->removeObserver(this);
    table_ = table;
    if (table_)
        table_->addObserver(this);
    updateButtons();
}

void DBNavigator::click(NavButton which)
{
    try {
        run(which);
    } catch (const std::exception& e) {
        showError(e);
    }
    updateButtons();
    emit actionDone(which);
}

void DBNavigator::run(NavButton which)
{
    if (!table_)
        return;
    data::CurveTable& t = *table_;
    switch (which) {
    case NavButton::First: t.first(); break;
    case NavButton::Prior: t.prior(); break;
    case NavButton::Next: t.next(); break;
    case NavButton::Last: t.last(); break;
    case NavButton::Insert: t.append(); break;
    case NavButton::Delete: t.deleteRow(); break;
    case NavButton::Edit: t.edit(); break;
    case NavButton::Post: t.post(); break;
    case NavButton::Cancel: t.cancel(); break;
    case NavButton::Refresh:
        // Re-reads the internal file; close() writes changed rows back first, so
        // nothing typed into the grid is lost.
        if (!t.boundFile().empty()) {
            t.close();
            t.open();
        }
        break;
    }
}

void DBNavigator::updateButtons()
{
    using State = data::CurveTable::State;
    const bool open = table_ && table_->isOpen();
    const State state = open ? table_->state() : State::Inactive;
    const bool browsing = state == State::Browse;
    const bool editing = state == State::Insert || state == State::Edit;
    const bool hasRows = open && !table_->isEmpty();
    const bool atFirst = !hasRows || table_->recNo() <= 0;
    const bool atLast = !hasRows || table_->recNo() >= table_->rowCount() - 1;
    const bool enabled[NavButtonCount] = {
        browsing && !atFirst,           browsing && !atFirst, browsing && !atLast, browsing && !atLast,
        browsing,                       hasRows || editing,   browsing && hasRows, editing,
        editing,                        browsing,
    };
    for (int i = 0; i < NavButtonCount; ++i)
        buttons_[static_cast<std::size_t>(i)]->setEnabled(enabled[i]);
}

} // namespace quorvane::ui
