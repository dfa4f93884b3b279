#include "testing/fakes/fake_dialogs.h"

namespace platform {

void FakeDialogs::message(QWidget*, const QString& text, const QString& title) {
    messages.append({text, title});
    if (whileOpen)
        whileOpen(messages.last());
}

bool FakeDialogs::confirm(QWidget* parent, const QString& text, const QString& details,
                          const QString& title) {
    message(parent, text + QStringLiteral("\n\n") + details, title);
    return !confirmAnswers.isEmpty() && confirmAnswers.takeFirst();
}

std::optional<QString> FakeDialogs::openFileName(QWidget*, const QString& filter) {
    return nextAnswer(filter);
}

std::optional<QString> FakeDialogs::saveFileName(QWidget*, const QString& filter,
                                                 bool confirmOverwrite) {
    confirmedOverwrite = confirmOverwrite;
    return nextAnswer(filter);
}

std::optional<QString> FakeDialogs::nextAnswer(const QString& filter) {
    filters << filter;
    if (fileAnswers.isEmpty())
        return std::nullopt;
    const QString answer = fileAnswers.takeFirst();
    if (answer.isEmpty())
        return std::nullopt;
    return answer;
}

QStringList FakeDialogs::texts() const {
    QStringList out;
    for (const Message& m : messages)
        out << m.text;
    return out;
}

} // namespace platform
