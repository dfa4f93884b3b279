#pragma once

#include <QList>
#include <QString>

namespace bench {

// One edit over every sample image, or one template built.
struct EditTiming {
    QString name;
    double medianUs = 0, slowestUs = 0;
    int images = 0; // 0 for a template
};

// Each edit of the EDID editor on every image of the folder, and each
// template, reps times. Empty when the folder holds no image.
QList<EditTiming> measureEdits(const QString& folder, int reps);

} // namespace bench
