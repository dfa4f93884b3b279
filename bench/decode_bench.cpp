#include "bench/decode_bench.h"

#include "bench/bench_util.h"
#include "core/edid/decode/edid_text.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace bench {

namespace {

// Keeps the optimiser from dropping work whose result nothing reads.
volatile qsizetype sink = 0;

} // namespace

DecodeResult measureDecode(const QString& folder, int reps) {
    DecodeResult r;
    const QDir dir(folder);
    QList<QByteArray> images;
    QStringList names = dir.entryList({"*.bin"}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            images << f.readAll();
    }
    if (images.isEmpty()) {
        r.failure = QStringLiteral("no images in ") + folder;
        return r;
    }
    QList<double> perImage, full;
    for (qsizetype i = 0; i < images.size(); ++i) {
        const QByteArrayView bytes(images[i]);
        qint64 start = nowNs();
        for (int k = 0; k < reps; ++k)
            sink = sink + edid::decodeEdid(bytes).findings.size();
        perImage << (nowNs() - start) / 1000.0 / reps;
        start = nowNs();
        for (int k = 0; k < reps; ++k) {
            const edid::DecodedEdid d = edid::decodeEdid(bytes);
            sink = sink + edid::decodedText(d).size() + edid::decodedJson(d).size();
        }
        full << (nowNs() - start) / 1000.0 / reps;
    }
    const auto slowest = std::max_element(perImage.begin(), perImage.end());
    r.ok = true;
    r.images = int(images.size());
    r.reps = reps;
    r.medianUs = median(perImage);
    r.meanUs = mean(perImage);
    r.slowestUs = *slowest;
    r.slowestName = names.value(slowest - perImage.begin());
    r.medianFullUs = median(full);
    return r;
}

} // namespace bench
