// The web accounts and the commands that manage them, on files in a
// temporary folder; passwords come from a stand-in for the terminal.

#include "frontends/server/account_command.h"
#include "frontends/server/options.h"
#include "state/accounts.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <functional>
#include <utility>

using server::Accounts;
using Edit = server::Accounts::Edit;

namespace {

const QRegularExpression kTokenForm(QStringLiteral("^hmx_[A-Za-z0-9_-]{43}$"));
const QString kSeed = QStringLiteral("alice=operator|t1=viewer t2=admin");

struct FakePasswords : server::PasswordSource {
    bool person = false;
    QStringList lines, prompts;
    std::function<void()> meanwhile; // another command, while the password is typed
    bool interactive() const override { return person; }
    std::optional<QByteArray> readLine(const QString& prompt) override {
        prompts << prompt;
        if (meanwhile)
            std::exchange(meanwhile, nullptr)();
        return lines.isEmpty() ? std::nullopt : std::optional(lines.takeFirst().toUtf8());
    }
};

// Users, then tokens, by name, each with the role find() gives it.
QString listed(const Accounts& a) {
    QStringList users, tokens;
    for (const auto& u : a.users())
        users << u.name + '=' + server::roleName(a.find(u.name, false)->role);
    for (const auto& t : a.tokens())
        tokens << t.name + '=' + server::roleName(a.find(t.name, true)->role);
    return QString(users.join(' ') + '|' + tokens.join(' ')).replace(QString(64, 'a'), "*64");
}

QString principal(const std::optional<Accounts::Principal>& p) {
    return p ? QStringLiteral("%1 %2 %3")
                   .arg(p->name, server::roleName(p->role), p->token ? "token" : "user")
             : QStringLiteral("-");
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

} // namespace

class TestAccounts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void edits_data();
    void edits();
    void proofs_data();
    void proofs();
    void badFile_data();
    void badFile();
    void command_data();
    void command();

private:
    QTemporaryDir dir_;
    std::unique_ptr<Accounts> seeded_; // alice, operator, "right"; tokens t1, t2
    QHash<QString, QByteArray> tokens_;
};

void TestAccounts::initTestCase() {
    QVERIFY(dir_.isValid());
    seeded_ = std::make_unique<Accounts>(dir_.filePath("seed/made")); // made when saved
    QCOMPARE(seeded_->addUser("alice", server::Role::Operator, "right"), Edit::Done);
    QCOMPARE(seeded_->addToken("t1", server::Role::Viewer, &tokens_["t1"]), Edit::Done);
    QCOMPARE(seeded_->addToken("t2", server::Role::Admin, &tokens_["t2"]), Edit::Done);
    QCOMPARE(seeded_->addToken("t3", server::Role::Admin, &tokens_["t3"]), Edit::Done);
    QCOMPARE(seeded_->removeToken("t3"), Edit::Done);
    QString why;
    QVERIFY2(seeded_->save(&why), qPrintable(why));
}

void TestAccounts::edits_data() {
    // Steps: "+u NAME ROLE PASSWORD", "pw NAME PASSWORD", "role NAME ROLE",
    // "-u NAME", "+t NAME ROLE", "-t NAME", "?u NAME" and "?t NAME" (find():
    // Exists or Unknown); "*N" is N letters, "''" nothing.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("after"); // users|tokens
    const auto row = [](const char* name, const char* steps, const char* results,
                        const char* after) { QTest::newRow(name) << steps << results << after; };
    row("add, twice, sorted", "+u bob viewer x; +u bob admin y; +t zed admin; +t Al_1.-x viewer",
        "Done Exists Done Done", "bob=viewer|Al_1.-x=viewer zed=admin");
    row("names", "+u a%b viewer x; +t *65 viewer; +u *64 admin x; +t éa viewer; +t '' viewer",
        "Invalid Invalid Done Invalid Invalid", "*64=admin|");
    row("passwords", "+u a viewer ''; +u b viewer *1025; +u c viewer *1024; pw c ''",
        "Invalid Invalid Done Invalid", "c=viewer|");
    row("unknown", "pw al x; role al admin; -u al; -t al; +t al admin; -u al; ?u al",
        "Unknown Unknown Unknown Unknown Done Unknown Unknown", "|al=admin");
    row("changes seen", "+u u viewer x; +t u viewer; role u admin; -t u; ?t u; ?u u",
        "Done Done Done Done Unknown Exists", "u=admin|");
}

void TestAccounts::edits() {
    QFETCH(QString, steps);
    QFETCH(QString, results);
    QFETCH(QString, after);
    Accounts a(dir_.filePath("edits"));
    QStringList got;
    for (const QString& step : steps.split(';')) {
        QStringList w = step.split(' ', Qt::SkipEmptyParts);
        for (QString& x : w)
            x = x == "''" ? "" : x.startsWith('*') ? QString(x.mid(1).toInt(), 'a') : x;
        const auto role = server::roleFromName(w.value(2)).value_or(server::Role::Viewer);
        const QByteArray password = w.last().toUtf8();
        const QString op = w.first();
        const Edit e = op[0] == '?'   ? (a.find(w[1], op == "?t") ? Edit::Exists : Edit::Unknown)
                       : op == "+u"   ? a.addUser(w[1], role, password)
                       : op == "pw"   ? a.setPassword(w[1], password)
                       : op == "role" ? a.setRole(w[1], role)
                       : op == "-u"   ? a.removeUser(w[1])
                       : op == "+t"   ? a.addToken(w[1], role, nullptr)
                                      : a.removeToken(w[1]);
        got << QStringList{"Done", "Exists", "Unknown", "Invalid"}[int(e)];
    }
    QCOMPARE(got.join(' '), results);
    QCOMPARE(listed(a), after);
}

void TestAccounts::proofs_data() {
    QTest::addColumn<QString>("who");    // a user's name, or "#NAME": token NAME's text
    QTest::addColumn<QString>("secret"); // the password, or how the token is altered
    QTest::addColumn<QString>("expected");
    // An Argon2id check with 64 MiB cannot take less: the rows that must
    // cost one, so that a wrong name cannot be told from a wrong password.
    QTest::addColumn<int>("atLeastMs");
    const auto row = [](const char* name, const char* who, const char* secret, const char* expected,
                        int ms) {
        QTest::newRow(name) << QString(who) << QString(secret) << QString(expected) << ms;
    };
    row("right", "alice", "right", "alice operator user", 5);
    row("wrong", "alice", "Right", "-", 5);
    row("unknown user", "bob", "right", "-", 5);
    row("name's case", "Alice", "right", "-", 5);
    row("empty", "alice", "", "-", 0);
    row("token t1", "#t1", "", "t1 viewer token", 0);
    row("removed token", "#t3", "", "-", 0);
    row("one letter off", "#t1", "last", "-", 0);
    row("without prefix", "#t1", "prefix", "-", 0);
    row("no token", "#", "", "-", 0);
}

void TestAccounts::proofs() {
    QFETCH(QString, who);
    QFETCH(QString, secret);
    QFETCH(QString, expected);
    QFETCH(int, atLeastMs);
    QElapsedTimer clock;
    clock.start();
    if (!who.startsWith('#')) {
        QCOMPARE(principal(seeded_->signIn(who, secret.toUtf8())), expected);
        QVERIFY(clock.elapsed() >= atLeastMs);
        return;
    }
    QByteArray text = tokens_.value(who.mid(1));
    if (secret == "last")
        text.back() = text.back() == 'A' ? 'B' : 'A';
    else if (secret == "prefix")
        text.remove(0, 4);
    QCOMPARE(principal(seeded_->checkToken(text)), expected);
}

void TestAccounts::badFile_data() {
    QTest::addColumn<QByteArray>("json"); // ' for "
    QTest::addColumn<QString>("reason");  // part of the complaint
    const auto row = [](const char* name, QByteArray json, const char* reason) {
        QTest::newRow(name) << json.replace('\'', '"') << QString(reason);
    };
    const QByteArray token =
        "{'name': 'a', 'role': 'admin', 'hash': '" + QByteArray(64, 'a') + "'}";
    row("not JSON", "{'version': 1,", "not JSON");
    row("a list", "[]", "no \"version\"");
    row("newer", "{'version': 2, 'users': 5}", "newer version (2)");
    row("users missing", "{'version': 1, 'tokens': []}", "\"users\" is not a list");
    row("bad role", "{'version': 1, 'users': [{'name': 'a', 'role': 'boss', 'password': '$x'}]}",
        "user 1 lacks");
    row("short hash",
        "{'version': 1, 'users': [], 'tokens': [{'name': 'a', 'role': 'admin', 'hash': 'ab'}]}",
        "token 1 lacks");
    row("twice", "{'version': 1, 'users': [], 'tokens': [" + token + ", " + token + "]}",
        "\"a\" is there twice");
}

void TestAccounts::badFile() {
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    const QTemporaryDir folder;
    Accounts a(folder.path());
    QFile f(a.path());
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(json) == json.size() && f.flush());
    QString why, refused;
    QVERIFY(!a.load(&why));
    QVERIFY2(why.contains(reason), qPrintable(why));
    QVERIFY(a.empty());
    QCOMPARE(a.addToken("b", server::Role::Admin, nullptr), Edit::Done);
    // A newer version's file is never overwritten; a damaged one is set
    // aside whole by the change.
    const bool newer = reason.contains("newer");
    QCOMPARE(a.save(&refused), !newer);
    QCOMPARE(refused.contains("newer version (2); not overwritten"), newer);
    QCOMPARE(contents(newer ? a.path() : a.setAside()), json);
    Accounts again(folder.path());
    QCOMPARE(again.load(&why), !newer);
    QCOMPARE(again.tokens().size(), newer ? 0 : 1);
}

void TestAccounts::command_data() {
    QTest::addColumn<QString>("command"); // after --state-dir FOLDER
    // The lines of standard input; first "!": typed at a terminal, "{": the
    // file is damaged, "!file": the folder is under a file, "&COMMAND": that
    // command runs while the password is typed.
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err"); // part of its one line; empty: no line
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("out"); // TOKEN: a new token's line
    const auto row = [](const char* name, const char* command, const char* input, int status,
                        const char* err, const QString& after = kSeed, const char* out = "") {
        QTest::newRow(name) << QString(command)
                            << (*input ? QString(input).split('|') : QStringList()) << status
                            << QString(err) << after << QString(out);
    };
    row("user add", "user add bob --role admin", "s3cret|more", 0, "user \"bob\" added as admin",
        "alice=operator bob=admin|t1=viewer t2=admin");
    row("typed twice", "user --role viewer add bob", "!|s3cret|s3cret", 0, "added as viewer",
        "alice=operator bob=viewer|t1=viewer t2=admin");
    row("typed differently", "user add bob --role viewer", "!|s3cret|s3creT", 1, "differ");
    row("no input", "user passwd alice", "", 1, "no password");
    row("empty password", "user add bob --role viewer", "!||", 1, "1 to 1024 bytes");
    row("exists", "user add alice --role admin", "x", 1, "user \"alice\" exists already");
    row("passwd unknown", "user passwd bob", "x", 1, "no user \"bob\"");
    row("role", "user role alice viewer", "", 0, "user \"alice\" is now viewer",
        "alice=viewer|t1=viewer t2=admin");
    row("remove", "user remove alice", "", 0, "removed", "|t1=viewer t2=admin");
    row("remove unknown", "token remove alice", "", 1, "no token \"alice\"");
    row("token exists", "token add t1 --role admin", "", 1, "exists already");
    row("lists", "token list", "", 0, "", kSeed, "t1 viewer\nt2 admin\n");
    row("token add", "token add ci --role operator", "", 0, "token \"ci\" added as operator",
        "alice=operator|ci=operator t1=viewer t2=admin", "TOKEN");
    row("no role", "token add t9", "", 2, "needs --role");
    row("bad role", "user role alice boss", "", 2, "\"boss\" is not a role");
    row("role not taken", "user list --role admin", "", 2, "usage: user list");
    row("extra word", "user remove alice now", "", 2, "usage: user remove NAME");
    row("bad name", "user add a/b --role viewer", "", 2, "is not a name");
    row("unknown verb", "token show", "", 2, "is not a command");
    row("not a command", "users list", "", 2, "unknown argument \"users\"");
    row("role alone", "--role admin", "", 2, "--role is for the user and token commands");
    row("removal meanwhile kept", "user passwd alice", "&token remove t1|s3cret", 0,
        "password changed", "alice=operator|t2=admin");
    row("removed meanwhile", "user passwd alice", "&user remove alice|s3cret", 1, "no user",
        "|t1=viewer t2=admin");
    row("added meanwhile", "user add bob --role admin", "&user add bob --role viewer|s3cret", 1,
        "exists already", "alice=operator bob=viewer|t1=viewer t2=admin");
    row("damaged file", "user list", "{", 1, "not JSON", "");
    row("unwritable", "token add t9 --role admin", "!file", 1, "cannot create", "");
}

void TestAccounts::command() {
    QFETCH(QString, command);
    QFETCH(QStringList, input);
    QFETCH(int, status);
    QFETCH(QString, err);
    QFETCH(QString, after);
    QFETCH(QString, out);
    const QTemporaryDir temporary;
    QString folder = temporary.path();
    FakePasswords passwords;
    QFile file(temporary.filePath("accounts.json"));
    if (input.value(0) == "{") {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{") == 1);
    } else if (input.value(0) == "!file") {
        folder = seeded_->path() + "/state";
    } else {
        QVERIFY(QFile::copy(seeded_->path(), file.fileName()));
        // Readable by others, as a copy may be: once written again, it is not.
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        passwords.person = input.value(0) == "!";
        passwords.lines = input.mid(passwords.person ? 1 : 0);
    }
    if (input.value(0).startsWith('&')) {
        passwords.lines.removeFirst();
        passwords.meanwhile = [&, other = input.value(0).mid(1).split(' ')] {
            FakePasswords more;
            more.lines = QStringList{"other"};
            QString ignored;
            QTextStream o(&ignored), e(&ignored);
            QCOMPARE(server::runAccountCommand(other.mid(0, 3), other.value(4), folder, more, o, e),
                     0);
        };
    }
    // The server's own reading of its arguments first, as the program does.
    QString outText, errText;
    QTextStream outStream(&outText), errStream(&errText);
    const auto o =
        server::parseOptions(QStringList{"--state-dir", folder} + command.split(' '), {}, &errText);
    errText += o ? "" : "\n";
    QCOMPARE(o ? server::runAccountCommand(o->command, o->role, o->stateDir, passwords, outStream,
                                           errStream)
               : 2,
             status);
    const QString shown = outText.endsWith(QLatin1Char('\n')) ? outText.chopped(1) : outText;
    if (out == "TOKEN")
        QVERIFY2(outText.endsWith('\n') && kTokenForm.match(shown).hasMatch(), qPrintable(out));
    else
        QCOMPARE(outText, out);
    QVERIFY2(err.isEmpty()
                 ? errText.isEmpty()
                 : errText.contains(err) && errText.count('\n') == 1 && errText.endsWith('\n'),
             qPrintable(errText));
    if (passwords.person)
        QCOMPARE(passwords.prompts.join('|'), "Password: |Again: ");
    QVERIFY(!errText.contains("s3cret"));
    if (after.isEmpty())
        return;
    Accounts a(folder);
    QString why;
    QVERIFY2(a.load(&why), qPrintable(why));
    QCOMPARE(listed(a), after);
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    QCOMPARE(QFile(a.path()).permissions() & mode, // unchanged when nothing changed
             QFile::ReadOwner | QFile::WriteOwner | (after == kSeed ? QFile::ReadOther : 0));
    QVERIFY(!contents(a.path()).contains("s3cret"));
    if (command.startsWith("user add") && status == 0)
        QCOMPARE(principal(a.signIn("bob", "s3cret")), "bob " + o->role + " user");
    if (out == "TOKEN") { // kept only as its hash
        QVERIFY(!contents(a.path()).contains(shown.mid(4).toLatin1()));
        QCOMPARE(principal(a.checkToken(shown.toLatin1())), "ci operator token");
    }
}

QTEST_GUILESS_MAIN(TestAccounts)
#include "test_accounts.moc"
