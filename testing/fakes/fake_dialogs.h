#pragma once

#include "frontends/windows/platform/dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace platform {

// Records every message box and answers file dialogs from a script; never
// blocks.
class FakeDialogs : public Dialogs {
public:
    struct Message {
        QString text;
        QString title;
        bool operator==(const Message&) const = default;
    };

    void message(QWidget* parent, const QString& text, const QString& title) override;
    // Recorded as a message (text, then the details after a blank line);
    // answers from confirmAnswers, No once they run out.
    bool confirm(QWidget* parent, const QString& text, const QString& details,
                 const QString& title) override;
    QList<bool> confirmAnswers;
    std::optional<QString> openFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter,
                                        bool confirmOverwrite) override;

    QList<Message> messages;
    QStringList filters;             // the filter of every file dialog shown
    bool confirmedOverwrite = false; // the last save dialog asked before replacing a file
    // Answers for the next file dialogs, first first; an empty string (or an
    // empty list) stands for Cancel.
    QStringList fileAnswers;
    // Runs while a message box is "open", e.g. to spin the event loop as a
    // real modal box does.
    std::function<void(const Message&)> whileOpen;

    Message last() const { return messages.isEmpty() ? Message{} : messages.last(); }
    QStringList texts() const;

private:
    std::optional<QString> nextAnswer(const QString& filter);
};

} // namespace platform
