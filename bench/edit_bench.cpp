#include "bench/edit_bench.h"

#include "bench/bench_util.h"
#include "core/edid/edit/edid_edit.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>

namespace bench {

namespace {

volatile int sink = 0;

} // namespace

QList<EditTiming> measureEdits(const QString& folder, int reps) {
    const QDir dir(folder);
    QList<edid::Image> images;
    for (const QString& name : dir.entryList({"*.bin"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = f.read(edid::kImageSize);
        edid::Image m{};
        std::memcpy(m.data(), bytes.constData(), size_t(bytes.size()));
        images << m;
    }
    QList<EditTiming> out;
    if (images.isEmpty())
        return out;
    using K = edid::Edit::Kind;
    struct Named {
        const char* name;
        edid::Edit edit;
    };
    edid::Edit stereo(K::Audio), surround(K::Audio), none(K::Audio), name(K::Name),
        serial(K::Serial), address(K::PhysicalAddress);
    surround.audio = edid::AudioLayout::Surround71;
    none.audio = edid::AudioLayout::None;
    name.text = QStringLiteral("LOBBY TV 2");
    serial.serial = 4000000000u;
    address.address = {2, 1, 0, 0};
    const Named edits[] = {{"audio stereo", stereo},
                           {"audio 7.1", surround},
                           {"audio none", none},
                           {"max-1080p", edid::Edit(K::Max1080p)},
                           {"no-hdr", edid::Edit(K::NoHdr)},
                           {"no-deep-colour", edid::Edit(K::NoDeepColour)},
                           {"preferred 97", edid::Edit(K::Preferred, 97)},
                           {"add-vic 97", edid::Edit(K::AddVic, 97)},
                           {"remove-vic 16", edid::Edit(K::RemoveVic, 16)},
                           {"name", name},
                           {"serial", serial},
                           {"physical-address", address}};
    for (const Named& e : edits) {
        QList<double> perImage;
        for (const edid::Image& m : images) {
            const qint64 start = nowNs();
            for (int k = 0; k < reps; ++k)
                sink = sink + edid::applyEdit(m, e.edit).refusal.size();
            perImage << (nowNs() - start) / 1000.0 / reps;
        }
        out << EditTiming{QString::fromLatin1(e.name), median(perImage),
                          *std::max_element(perImage.begin(), perImage.end()), int(images.size())};
    }
    // A template is one image: its runs are timed in ten batches, each
    // batch's mean a sample, as each image's mean is above.
    for (const QString& t : edid::templateNames()) {
        QList<double> batches;
        const int each = qMax(1, reps / 10);
        for (int b = 0; b < 10; ++b) {
            const qint64 start = nowNs();
            for (int k = 0; k < each; ++k)
                sink = sink + int(edid::buildTemplate(t).has_value());
            batches << (nowNs() - start) / 1000.0 / each;
        }
        out << EditTiming{QStringLiteral("template ") + t, median(batches),
                          *std::max_element(batches.begin(), batches.end()), 0};
    }
    return out;
}

} // namespace bench
