#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class QTextStream;

namespace server {

// Where the account commands get a password: a person at a terminal, or
// the first line of what a script pipes in; never the command line, which
// every user of the machine can read.
class PasswordSource {
public:
    virtual ~PasswordSource() = default;
    // Whether a person types it: then it is asked for twice, unseen.
    virtual bool interactive() const = 0;
    // One line without its line end, the prompt shown first when
    // interactive; nothing once the input has ended.
    virtual std::optional<QByteArray> readLine(const QString& prompt) = 0;
};

// Runs "user ..." or "token ..." (the words after the options) on the
// accounts file in folder; role: the --role value, empty when not given.
// A new token and the lists go to out; one line of confirmation or
// complaint, nothing secret, to err. The exit status: 0 done, 1 refused
// (the name exists or is unknown, the passwords differ, the file cannot be
// read or written), 2 a usage error.
// rooms: the --rooms value of "add" ("Hall A,Foyer"), nothing when not given.
int runAccountCommand(const QStringList& command, const QString& role, const QString& folder,
                      PasswordSource& passwords, QTextStream& out, QTextStream& err,
                      const std::optional<QString>& rooms = std::nullopt);

} // namespace server
