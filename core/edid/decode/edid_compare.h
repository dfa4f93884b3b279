#pragma once

// Comparing two images: which bytes differ and what that changes in what
// they declare.

#include "core/edid/decode/edid_decode.h"

namespace edid {

struct FieldDifference {
    QString field; // a JSON path such as "dtds[0].pixel_clock_khz"
    QString left;  // the value in compact JSON, "absent" when missing
    QString right;
};

struct EdidComparison {
    QList<int> differingOffsets; // bytes that differ, and those only one image has
    QList<FieldDifference> fields;
    bool identical() const { return differingOffsets.isEmpty(); }
};

EdidComparison compareEdid(QByteArrayView left, QByteArrayView right);
// Offsets in ascending order as ranges: "54-57, 127".
QString offsetRanges(const QList<int>& offsets);
// For the window: offsets as ranges ("bytes 54-57, 127"), then one line per
// differing field.
QString comparisonText(const EdidComparison& c);

} // namespace edid
