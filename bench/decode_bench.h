#pragma once

#include <QString>

namespace bench {

struct DecodeResult {
    bool ok = false;
    QString failure;
    int images = 0;
    int reps = 0;
    // Per image, the mean over its repetitions; then over the images.
    double medianUs = 0, meanUs = 0, slowestUs = 0;
    QString slowestName;
    // Decoding plus the decoded text and the JSON, as the window and the
    // command-line tool need them.
    double medianFullUs = 0;
};

// Decodes every image of the folder reps times.
DecodeResult measureDecode(const QString& folder, int reps);

} // namespace bench
