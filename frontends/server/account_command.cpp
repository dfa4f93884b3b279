#include "frontends/server/account_command.h"

#include "state/accounts.h"

#include <QDir>
#include <QLockFile>
#include <QTextStream>
#include <iterator>

namespace server {

namespace {

enum Status { kDone = 0, kRefused = 1, kUsage = 2 };

// Another command holds the lock for a moment only: it reads, changes and
// writes a small file.
constexpr int kLockWaitMs = 10000;

struct Form {
    const char* kind;
    const char* verb;
    const char* rest; // the words after the verb, as usage() spells them
    int words;        // the command's, kind and verb included
    bool takesRole;   // --role
};

constexpr Form kForms[] = {
    {"user", "add", "NAME --role ROLE", 3, true},
    {"user", "passwd", "NAME", 3, false},
    {"user", "role", "NAME ROLE", 4, false},
    {"user", "remove", "NAME", 3, false},
    {"user", "list", "", 2, false},
    {"token", "add", "NAME --role ROLE", 3, true},
    {"token", "remove", "NAME", 3, false},
    {"token", "list", "", 2, false},
};

const Form* formOf(const QStringList& command) {
    for (const Form& f : kForms)
        if (command.value(0) == QLatin1String(f.kind) && command.value(1) == QLatin1String(f.verb))
            return &f;
    return nullptr;
}

// Asked twice of a person, since a typing error they cannot see would lock
// them out; a script's line is taken as it is.
std::optional<QByteArray> askPassword(PasswordSource& source, QString* why) {
    const bool person = source.interactive();
    const std::optional<QByteArray> first =
        source.readLine(person ? QStringLiteral("Password: ") : QString());
    if (!first) {
        *why = QStringLiteral("no password given");
        return std::nullopt;
    }
    if (!person)
        return first;
    const std::optional<QByteArray> again = source.readLine(QStringLiteral("Again: "));
    if (!again || *again != *first) {
        *why = QStringLiteral("the two passwords differ; nothing changed");
        return std::nullopt;
    }
    return first;
}

// Why the words and --role do not make the form's command; empty when
// they do.
QString usageProblem(const Form& form, const QStringList& command, const QString& role) {
    const QString kind = QLatin1String(form.kind);
    const QString verb = QLatin1String(form.verb);
    if (command.size() != form.words || (!form.takesRole && !role.isEmpty()))
        return QStringLiteral("usage: %1 %2 %3")
            .arg(kind, verb, QLatin1String(form.rest))
            .trimmed();
    if (form.takesRole && role.isEmpty())
        return QStringLiteral("%1 %2 needs --role viewer, operator or admin").arg(kind, verb);
    const QString roleWord = form.takesRole ? role : command.value(3);
    if ((form.takesRole || verb == QLatin1String("role")) && !roleFromName(roleWord))
        return QStringLiteral("\"%1\" is not a role: viewer, operator or admin").arg(roleWord);
    const QString name = command.value(2);
    if (form.words > 2 && !Accounts::nameAllowed(name))
        return QStringLiteral("\"%1\" is not a name: 1 to 64 letters, digits, '.', '_' or '-'")
            .arg(name);
    return {};
}

void list(const Accounts& accounts, bool token, QTextStream& out) {
    if (token)
        for (const Accounts::Token& t : accounts.tokens())
            out << t.name << ' ' << roleName(t.role) << '\n';
    else
        for (const Accounts::User& u : accounts.users())
            out << u.name << ' ' << roleName(u.role) << '\n';
    out.flush();
}

} // namespace

int runAccountCommand(const QStringList& command, const QString& role, const QString& folder,
                      PasswordSource& passwords, QTextStream& out, QTextStream& err) {
    const auto complain = [&err](int status, const QString& why) {
        err << "hdmi-matrix-server: " << why << Qt::endl;
        return status;
    };
    const Form* form = formOf(command);
    if (!form)
        return complain(kUsage, QStringLiteral("\"%1\" is not a command: user add, passwd, "
                                               "role, remove or list; token add, remove or list")
                                    .arg(command.join(QLatin1Char(' '))));
    const QString kind = QLatin1String(form->kind);
    const QString verb = QLatin1String(form->verb);
    if (const QString why = usageProblem(*form, command, role); !why.isEmpty())
        return complain(kUsage, why);
    const QString roleWord = form->takesRole ? role : command.value(3);
    const std::optional<Role> newRole = roleFromName(roleWord);
    const QString name = command.value(2);

    Accounts accounts(folder);
    QString why;
    // A damaged file gives way to a change, which sets it aside; a newer
    // version's never does.
    if (!accounts.load(&why) && (verb == QLatin1String("list") || !accounts.damaged()))
        return complain(kRefused, why);
    const bool token = kind == QLatin1String("token");
    if (verb == QLatin1String("list")) {
        list(accounts, token, out);
        return kDone;
    }
    const QString quoted = QStringLiteral("%1 \"%2\"").arg(kind, name);
    const auto present = [&](const Accounts& a) -> std::optional<QString> {
        const bool exists = a.find(name, token).has_value();
        if (exists && verb == QLatin1String("add"))
            return quoted + QStringLiteral(" exists already");
        if (!exists && verb != QLatin1String("add"))
            return QStringLiteral("no ") + quoted;
        return std::nullopt;
    };
    // Checked before the prompt, so that nobody types a password for
    // nothing, and again once the file is locked.
    if (const auto refusal = present(accounts))
        return complain(kRefused, *refusal);
    std::optional<QByteArray> password;
    if (!token && (verb == QLatin1String("add") || verb == QLatin1String("passwd"))) {
        password = askPassword(passwords, &why);
        if (!password)
            return complain(kRefused, why);
    }

    // Another command may have changed the file while the password was
    // typed: it is read again under the lock and only this change is made
    // to it, so that a token or user removed meanwhile stays removed.
    if (!QDir().mkpath(folder))
        return complain(kRefused, QStringLiteral("%1: cannot create the folder").arg(folder));
    QLockFile lock(accounts.path() + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return complain(kRefused, QStringLiteral("%1 is being changed by another command; try "
                                                 "again (or remove %1.lock if none runs)")
                                      .arg(accounts.path()));
    if (!accounts.load(&why) && !accounts.damaged())
        return complain(kRefused, why);
    if (const auto refusal = present(accounts))
        return complain(kRefused, *refusal);

    QByteArray newToken;
    QString done;
    Accounts::Edit edit = Accounts::Edit::Done;
    if (password) {
        edit = verb == QLatin1String("add") ? accounts.addUser(name, *newRole, *password)
                                            : accounts.setPassword(name, *password);
        done = verb == QLatin1String("add") ? QStringLiteral(" added as ") + roleWord
                                            : QStringLiteral(": password changed");
    } else if (verb == QLatin1String("add")) {
        edit = accounts.addToken(name, *newRole, &newToken);
        done = QStringLiteral(" added as %1; the token is shown this once").arg(roleWord);
    } else if (verb == QLatin1String("role")) {
        edit = accounts.setRole(name, *newRole);
        done = QStringLiteral(" is now ") + roleWord;
    } else {
        edit = token ? accounts.removeToken(name) : accounts.removeUser(name);
        done = QStringLiteral(" removed");
    }
    // The name and its presence were checked: only the password is left.
    if (edit != Accounts::Edit::Done)
        return complain(kRefused, QStringLiteral("the password was refused: it needs 1 to "
                                                 "1024 bytes"));
    if (!accounts.save(&why))
        return complain(kRefused, why);
    if (!accounts.setAside().isEmpty())
        err << QStringLiteral("the damaged %1 is kept as %2")
                   .arg(accounts.path(), accounts.setAside())
            << Qt::endl;
    // Only once it is kept, or it would work nowhere.
    if (!newToken.isEmpty())
        out << newToken << Qt::endl;
    err << quoted << done << Qt::endl;
    return kDone;
}

} // namespace server
