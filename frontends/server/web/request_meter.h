#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace web {

// Measures the requests on one HTTP connection as their bytes arrive, ahead
// of the HTTP library, which keeps a request whole in memory whatever its
// size: where each request's head ends, how long its body says it is, and
// whether either is over its limit. It reads no more of the head than the
// end of it and the Content-Length and Transfer-Encoding fields; the
// library alone parses requests.
//
// Requests end where the library ends them: leading line ends are skipped,
// the head ends at an empty line (CR LF or LF alone), and a body is as long
// as Content-Length says. A request whose length two readers could read
// differently (a proxy in front, the library behind) is refused: two
// different Content-Length values, or one beside Transfer-Encoding.
class RequestMeter {
public:
    enum class Verdict {
        Fine,
        HeadTooLarge,   // 431
        BodyTooLarge,   // 413
        LengthRequired, // 411: a chunked body, whose size is only known at its end
        Ambiguous,      // 400: lengths that differ, or a length and a transfer coding
    };

    RequestMeter(int maxHead, int maxBody) : maxHead_(maxHead), maxBody_(maxBody) {}
    // Requests to this method and path ("POST /api/v1/jobs", any query
    // after it) may carry a body up to maxUpload instead.
    void allowUpload(QByteArray methodAndPath, int maxUpload) {
        upload_ = std::move(methodAndPath);
        maxUpload_ = maxUpload;
    }

    // The next bytes of the connection, in order. Once it is not Fine, the
    // connection is to be closed, and it stays so.
    Verdict feed(QByteArrayView bytes);
    // Part of a request has arrived, not all of it.
    bool inRequest() const { return state_ != State::Between; }
    // Requests complete so far.
    int completed() const { return completed_; }
    // The largest body the request being read may have, or the refused
    // one had; maxBody between requests.
    int bodyCap() const { return cap_; }

private:
    enum class State { Between, Head, Body };
    Verdict endHead();
    bool isUpload() const;

    int maxHead_;
    int maxBody_;
    QByteArray upload_;
    int maxUpload_ = 0;
    int cap_ = maxBody_;
    State state_ = State::Between;
    QByteArray head_;
    qint64 bodyLeft_ = 0;
    int completed_ = 0;
    Verdict verdict_ = Verdict::Fine;
};

} // namespace web
