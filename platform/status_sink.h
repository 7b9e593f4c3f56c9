#pragma once
// Where a long command reports its progress: the panels of a status bar,
// numbered from 0. A window implements it over its status bar; the command-line
// front end over standard error; tests record the texts in order.
#include <string>

namespace quorvane {

namespace text { // progress texts both calculations show
inline constexpr const char* EmptyingDataTables = "Emptying data tables";
inline constexpr const char* AllCompleted = "All completed";
} // namespace text

class StatusSink {
public:
    virtual ~StatusSink() = default;
    /// Replaces the text of one panel and repaints the bar at once: the command
    /// runs on the user-interface thread, so nothing else would paint it.
    virtual void setPanelText(int panel, const std::string& text) = 0;
    void clearPanel(int panel) { setPanelText(panel, std::string()); }
};

/// A sink that shows nothing, for callers that do not watch the progress.
class NullStatusSink final : public StatusSink {
public:
    void setPanelText(int, const std::string&) override {}
};

} // namespace quorvane
