#include "bench/account_runs.h"

#include "frontends/server/web/web_api.h"
#include "frontends/server/web/web_auth.h"
#include "state/accounts.h"
#include "state/router_state.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <ctime>

namespace bench {

namespace {

// Keeps the optimiser from dropping work whose result nothing reads.
volatile bool sink = false;

QString num(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

} // namespace

void accountRuns(Table& table, bool quick) {
    const QTemporaryDir folder; // nothing is saved: the accounts live in memory
    server::Accounts accounts(folder.path());
    const QByteArray password = "correct horse battery staple";
    accounts.addUser(QStringLiteral("operator"), server::Role::Operator, password);
    QByteArray token;
    for (int i = 0; i < 10; ++i) // the last one's text is checked
        accounts.addToken(QStringLiteral("token-%1").arg(i), server::Role::Operator, &token);

    const int signIns = quick ? 3 : 7;
    QTextStream(stdout) << "signing in " << signIns << " times ..." << Qt::endl;
    // The first sign-in of a server also makes the hash a wrong name is
    // checked against; not counted.
    sink = accounts.signIn(QStringLiteral("nobody"), password).has_value();
    QList<double> rightMs, cpuMs, unknownMs;
    for (int i = 0; i < signIns; ++i) {
        qint64 start = nowNs();
        const std::clock_t cpu = std::clock();
        sink = accounts.signIn(QStringLiteral("operator"), password).has_value();
        cpuMs << double(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC;
        rightMs << (nowNs() - start) / 1e6;
        start = nowNs();
        sink = accounts.signIn(QStringLiteral("nobody"), password).has_value();
        unknownMs << (nowNs() - start) / 1e6;
    }
    const double signIn = median(rightMs);
    table.add({QStringLiteral("sign-in (Argon2id interactive)"),
               QStringLiteral("median %1 ms, slowest %2 ms (%3 runs, 64 MiB each)")
                   .arg(num(signIn, 1), num(*std::max_element(rightMs.begin(), rightMs.end()), 1))
                   .arg(signIns),
               QStringLiteral("< 500 ms"), signIn < 500});
    // On a shared machine the wall time carries the others' load; the
    // processor time is what the hash itself took.
    table.note(QStringLiteral("sign-in: processor time median %1 ms; of an unknown name: median "
                              "%2 ms (a wrong name must cost what a wrong password does)")
                   .arg(num(median(cpuMs), 1), num(median(unknownMs), 1)));

    // What a route request with a token pays before it reaches the queue:
    // the fields read, the token's hash compared with every token's, the
    // role checked.
    server::RouterState state;
    web::WebAuth auth(accounts, state.audit());
    web::WebApi api(state, QStringLiteral("bench"), auth);
    const web::Request route{"PUT",
                             QStringLiteral("/api/v1/outputs/1/input"),
                             R"({"input": 2})",
                             QHostAddress(QStringLiteral("192.0.2.5")),
                             {{"Host", "matrix.venue.lan:9980"},
                              {"Content-Type", "application/json"},
                              {"Authorization", "Bearer " + token}}};
    constexpr int kBatch = 1000;
    const int batches = quick ? 3 : 10;
    QList<double> us;
    for (int b = 0; b < batches; ++b) {
        const qint64 start = nowNs();
        for (int i = 0; i < kBatch; ++i)
            sink = std::holds_alternative<web::Caller>(
                api.admit(route, web::WebApi::Access::Operator));
        us << (nowNs() - start) / 1e3 / kBatch;
    }
    const double check = median(us);
    table.add({QStringLiteral("token check on a route request"),
               QStringLiteral("median %1 us a request, 10 tokens stored (%2 batches of %3)")
                   .arg(num(check, 2))
                   .arg(batches)
                   .arg(kBatch),
               QStringLiteral("< 50 us"), check < 50});
}

} // namespace bench
