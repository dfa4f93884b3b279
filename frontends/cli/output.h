#pragma once

#include <QByteArray>

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <array>

// What the tool prints: data on stdout, messages and the progress bar on
// stderr. Quiet on success but for the output asked for.
namespace cli {

// The input (from 1) of each of the model's outputs as the device reported
// it; 0: not reported.
using Outputs = QList<int>;

// "output 1: input 3" per output, "output 4: not reported" for a 0.
QString outputsText(const Outputs& outputs);
// [3, 3, null, ...]
QJsonArray outputsJson(const Outputs& outputs);
// "62 63 20 0D 0A"
QString hexBytes(const QByteArray& bytes);

// The bar for done of total: "edid read input 3 [#########.........]  45%".
// done is clamped to 0..total; width is the number of cells of the bar.
QString progressBar(const QString& label, int done, int total, int width = 30);

class Console {
public:
    // bar: draw the progress bar (stderr is a terminal).
    explicit Console(bool bar);
    // Whether stderr is a terminal: a bar is drawn only then.
    static bool stderrIsTerminal();

    void data(const QString& text);
    // The run's one JSON document; a second one is not printed.
    void json(const QJsonObject& object);
    // "hdmi-matrix-ctl: warning: " + the line, on stderr.
    void warning(const QString& line);
    // Why writing to stdout failed (a full disk, a closed pipe); empty while
    // every write went through. Nothing more is written once it failed.
    const QString& stdoutError() const { return stdoutError_; }
    // "hdmi-matrix-ctl: " + the line; the bar is cleared first.
    void error(const QString& line);
    // What -v tells, on stderr the same way.
    void note(const QString& line) { error(line); }
    // Redraws the bar when its text changed.
    void progress(const QString& label, int done, int total);
    void endProgress();

private:
    void out(const QByteArray& bytes);

    bool bar_;
    QString shown_;
    QString stdoutError_;
    bool jsonPrinted_ = false;
};

} // namespace cli
