#pragma once
// A dialog service for widget tests: records every message and warning, answers
// file dialogs from queues, and restores the toolkit's dialogs when destroyed.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "platform/ui/dialogs.h"

namespace quorvane::test {

class ScriptedDialogs final : public ui::DialogService {
public:
    ScriptedDialogs() { ui::setDialogs(this); }
    ~ScriptedDialogs() override { ui::setDialogs(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    struct Shown {
        enum Kind { Message, Warning } kind;
        std::string text;
        bool operator==(const Shown&) const = default;
    };
    std::vector<Shown> shown;
    std::vector<ui::FileDialogOptions> openAsked, saveAsked;
    /// Answers for the next file dialogs; an empty queue or nullopt cancels.
    std::deque<std::optional<QString>> openAnswers, saveAnswers;
    bool printerSetupAnswer = false;
    int printerSetupCalls = 0;

    std::vector<std::string> messages() const { return texts(Shown::Message); }
    std::vector<std::string> warnings() const { return texts(Shown::Warning); }

    void message(QWidget*, const QString& text) override { shown.push_back({Shown::Message, text.toStdString()}); }
    void warning(QWidget*, const QString& text) override { shown.push_back({Shown::Warning, text.toStdString()}); }
    std::optional<QString> openFile(QWidget*, const ui::FileDialogOptions& o) override
    {
        openAsked.push_back(o);
        return next(openAnswers);
    }
    std::optional<QString> saveFile(QWidget*, const ui::FileDialogOptions& o) override
    {
        saveAsked.push_back(o);
        return next(saveAnswers);
    }
    bool printerSetup(QWidget*, QPrinter&) override
    {
        ++printerSetupCalls;
        return printerSetupAnswer;
    }

private:
    std::vector<std::string> texts(Shown::Kind kind) const
    {
        std::vector<std::string> out;
        for (const Shown& s : shown)
            if (s.kind == kind)
                out.push_back(s.text);
        return out;
    }
    static std::optional<QString> next(std::deque<std::optional<QString>>& q)
    {
        if (q.empty())
            return std::nullopt;
        auto a = q.front();
        q.pop_front();
        return a;
    }
};

} // namespace quorvane::test
