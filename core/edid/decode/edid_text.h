#pragma once

#include "core/edid/decode/edid_decode.h"

#include <QJsonObject>

namespace edid {

// The decoded image as text for the window and for export: the summary line,
// then the findings (each line "! byte N: ..."), then one section per block.
QString decodedText(const DecodedEdid& d);
QString decodedText(QByteArrayView bytes);

// The image as one JSON object. The fields of the command-line tool's
// "edid decode --json" (blocks, checksums_ok, version, manufacturer,
// product_code, serial_number, week, year, model_year, name, serial_text,
// dtds, cta, findings) hold null or an empty list where the image has none;
// further fields describe the rest of the image.
QJsonObject decodedJson(const DecodedEdid& d);
QJsonObject decodedJson(QByteArrayView bytes);

// One detailed timing in two or three lines.
QStringList detailedTimingLines(const DetailedTiming& t);

} // namespace edid
