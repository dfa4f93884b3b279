// Two images compared byte by byte and field by field.

#include "core/edid/decode/edid_compare.h"

#include "core/edid/decode/edid_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <map>

namespace edid {

namespace {

QString compact(const QJsonValue& v) {
    if (v.isObject())
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    // A scalar: wrapped in an array to use the same writer.
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

bool holdsObjects(const QJsonArray& a) {
    for (const QJsonValue& v : a)
        if (v.isObject())
            return true;
    return false;
}

// Every field as path -> value. Lists of objects (timings, audio, data
// blocks) go down by index; lists of plain values stay whole, so that one
// VIC more reads as one difference, not as a shift of all that follow.
void flatten(const QJsonValue& v, const QString& path, std::map<QString, QString>& out) {
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            flatten(it.value(), path.isEmpty() ? it.key() : path + u'.' + it.key(), out);
    } else if (v.isArray() && holdsObjects(v.toArray())) {
        const QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i)
            flatten(a[i], QStringLiteral("%1[%2]").arg(path).arg(i), out);
    } else {
        out[path] = compact(v);
    }
}

std::map<QString, QString> fieldsOf(QByteArrayView bytes) {
    QJsonObject o = decodedJson(bytes);
    // The summary only restates other fields.
    o.remove(QStringLiteral("summary"));
    std::map<QString, QString> out;
    flatten(o, QString(), out);
    return out;
}

} // namespace

EdidComparison compareEdid(QByteArrayView left, QByteArrayView right) {
    EdidComparison c;
    const qsizetype n = qMax(left.size(), right.size());
    for (qsizetype i = 0; i < n; ++i)
        if (i >= left.size() || i >= right.size() || left[i] != right[i])
            c.differingOffsets << int(i);
    if (c.differingOffsets.isEmpty())
        return c;
    const auto a = fieldsOf(left), b = fieldsOf(right);
    const QString absent = QStringLiteral("absent");
    for (const auto& [key, value] : a) {
        const auto it = b.find(key);
        const QString other = it == b.end() ? absent : it->second;
        if (other != value)
            c.fields << FieldDifference{key, value, other};
    }
    for (const auto& [key, value] : b)
        if (a.find(key) == a.end())
            c.fields << FieldDifference{key, absent, value};
    return c;
}

QString offsetRanges(const QList<int>& o) {
    QStringList ranges;
    for (qsizetype i = 0; i < o.size();) {
        qsizetype j = i;
        while (j + 1 < o.size() && o[j + 1] == o[j] + 1)
            ++j;
        ranges << (i == j ? QString::number(o[i]) : QStringLiteral("%1-%2").arg(o[i]).arg(o[j]));
        i = j + 1;
    }
    return ranges.join(QStringLiteral(", "));
}

QString comparisonText(const EdidComparison& c) {
    if (c.identical())
        return QStringLiteral("The images are identical.\n");
    const QList<int>& o = c.differingOffsets;
    QString text = (o.size() == 1 ? QStringLiteral("1 byte differs: ")
                                  : QStringLiteral("%1 bytes differ: ").arg(o.size())) +
                   offsetRanges(o) + u'\n';
    if (c.fields.isEmpty())
        text += QStringLiteral("No decoded field differs.\n");
    for (const FieldDifference& f : c.fields)
        text += QStringLiteral("%1: %2 -> %3\n").arg(f.field, f.left, f.right);
    return text;
}

} // namespace edid
