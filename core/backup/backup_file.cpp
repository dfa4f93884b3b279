#include "core/backup/backup_file.h"

#include "core/ir/ir_codes.h"
#include "core/settings/setting_numbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace backup {

namespace {

QString hexOf(const edid::Image& image) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(image.data()), edid::kImageSize).toHex());
}

QJsonArray numbers(const QList<int>& list) {
    QJsonArray a;
    for (int n : list)
        a.append(n > 0 ? QJsonValue(n) : QJsonValue(QJsonValue::Null));
    return a;
}

// Reads the document field by field; the first problem is kept, with where
// it is, and everything after it is skipped.
class Reader {
public:
    Reader(const QJsonObject& root, const protocol::Model& model) : root_(root), model_(model) {}

    QString error;

    bool failed() const { return !error.isEmpty(); }
    void refuse(const QString& where, const QString& why) {
        if (!failed())
            error = QStringLiteral("\"%1\": %2").arg(where, why);
    }

    // An array of exactly size entries.
    QJsonArray list(const QString& key, int size) {
        const QJsonValue v = root_.value(key);
        if (!v.isArray()) {
            refuse(key, QStringLiteral("missing, or not a list"));
            return {};
        }
        const QJsonArray a = v.toArray();
        if (a.size() != size)
            refuse(key, QStringLiteral("%1 entries; a %2 switcher has %3")
                            .arg(a.size())
                            .arg(model_.name)
                            .arg(size));
        return a;
    }

    // Ports from 1 to max; null only where allowed (0 then).
    QList<int> ports(const QString& key, int size, int max, bool nullAllowed) {
        QList<int> out;
        const QJsonArray a = list(key, size);
        for (qsizetype k = 0; k < a.size() && !failed(); ++k) {
            const QJsonValue v = a.at(k);
            const int n = v.toInt(-1);
            if (v.isNull() && nullAllowed)
                out << 0;
            else if (!v.isDouble() || v.toDouble() != n || n < 1 || n > max)
                refuse(QStringLiteral("%1[%2]").arg(key).arg(k),
                       QStringLiteral("not a port from 1 to %1").arg(max));
            else
                out << n;
        }
        return out;
    }

    QList<std::optional<edid::Image>> edids() {
        QList<std::optional<edid::Image>> out;
        const QJsonArray a = list(QStringLiteral("edid"), model_.inputs);
        for (qsizetype k = 0; k < a.size() && !failed(); ++k) {
            const QString where = QStringLiteral("edid[%1] (input %2)").arg(k).arg(k + 1);
            if (a.at(k).isNull()) {
                out << std::nullopt;
                continue;
            }
            const QByteArray hex = a.at(k).toString().toLatin1();
            const QByteArray bytes = QByteArray::fromHex(hex);
            if (hex.size() != 2 * edid::kImageSize || bytes.toHex() != hex.toLower())
                refuse(where,
                       QStringLiteral("not %1 bytes as hexadecimal digits").arg(edid::kImageSize));
            edid::Image image{};
            std::copy(bytes.begin(), bytes.end(), image.begin());
            if (!failed() && !edid::headerOk(image))
                refuse(where, QStringLiteral("no EDID header"));
            if (!failed() && !edid::checksumOk(image))
                refuse(where, QStringLiteral("a block fails its checksum"));
            out << image;
        }
        return out;
    }

    // The codes the switcher's table takes: one or two hexadecimal digits
    // each, no data code twice.
    QStringList irCodes() {
        QStringList out;
        const QJsonArray a = list(QStringLiteral("ir_codes"), model_.irCodeEntries);
        std::array<bool, ir::kEntries> formatError{};
        for (qsizetype k = 0; k < a.size() && !failed(); ++k) {
            out << a.at(k).toString();
            if (!ir::isHexCode(out.last()))
                refuse(QStringLiteral("ir_codes[%1]").arg(k),
                       QStringLiteral("\"%1\" is not one or two hexadecimal digits")
                           .arg(a.at(k).toVariant().toString()));
        }
        if (failed() || out.size() != ir::kEntries)
            return out;
        const auto dup = ir::findDuplicates(out, formatError);
        for (int k = 1; k < ir::kEntries; ++k)
            for (int j = k + 1; dup[k] && j < ir::kEntries; ++j)
                if (ir::sameCode(out.at(k), out.at(j)))
                    refuse(QStringLiteral("ir_codes[%1]").arg(j),
                           QStringLiteral("\"%1\" is the same data code as ir_codes[%2]")
                               .arg(out.at(j))
                               .arg(k));
        return out;
    }

    void settings(Backup& b) {
        const QJsonObject s = root_.value(QStringLiteral("settings")).toObject();
        const QJsonValue cable = s.value(QStringLiteral("long_cable"));
        const QJsonValue mode = s.value(QStringLiteral("edid_mode"));
        if (!cable.isBool())
            return refuse(QStringLiteral("settings.long_cable"),
                          QStringLiteral("not true or false"));
        const int m = mode.toInt(-1);
        if (!mode.isDouble() || mode.toDouble() != m || m < 0 || m >= settings::kEdidModes)
            return refuse(QStringLiteral("settings.edid_mode"),
                          QStringLiteral("not a mode from 0 to %1").arg(settings::kEdidModes - 1));
        b.longCable = cable.toBool();
        b.edidMode = m;
    }

    void presets(Backup& b) {
        const QJsonValue v = root_.value(QStringLiteral("presets"));
        if (v.isUndefined() || v.isNull())
            return;
        QList<QList<int>> all;
        const QJsonArray a = list(QStringLiteral("presets"), model_.presets);
        for (qsizetype p = 0; p < a.size() && !failed(); ++p) {
            const QJsonObject one{{QStringLiteral("p"), a.at(p)}};
            Reader inner(one, model_);
            all << inner.ports(QStringLiteral("p"), model_.outputs, model_.inputs, true);
            if (inner.failed())
                refuse(QStringLiteral("presets[%1]").arg(p), inner.error.section(": ", 1));
        }
        b.presets = all;
    }

private:
    const QJsonObject& root_;
    const protocol::Model& model_;
};

QString modeName(bool longCable) {
    return longCable ? QStringLiteral("ON") : QStringLiteral("OFF");
}

} // namespace

std::optional<Parts> parseParts(const QString& list) {
    Parts p{false, false, false, false};
    for (const QString& name : list.split(QLatin1Char(','))) {
        if (name == QLatin1String("routing"))
            p.routing = true;
        else if (name == QLatin1String("edid"))
            p.edid = true;
        else if (name == QLatin1String("ir"))
            p.ir = true;
        else if (name == QLatin1String("settings"))
            p.settings = true;
        else
            return std::nullopt;
    }
    return p;
}

Parsed parse(const QByteArray& bytes, const protocol::Model& model) {
    QJsonParseError jsonError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &jsonError);
    if (jsonError.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("not JSON: %1 at character %2")
                                  .arg(jsonError.errorString())
                                  .arg(jsonError.offset)};
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(kFormat))
        return {std::nullopt, QStringLiteral("not a backup of this program (\"format\" is not "
                                             "\"%1\")")
                                  .arg(QLatin1String(kFormat))};
    const int version = root.value(QStringLiteral("version")).toInt(0);
    if (version > kVersion)
        return {std::nullopt, QStringLiteral("\"version\": %1 is newer than this program reads "
                                             "(%2)")
                                  .arg(version)
                                  .arg(kVersion)};
    if (version < 1)
        return {std::nullopt, QStringLiteral("\"version\": missing or not a version")};
    const QString of = root.value(QStringLiteral("model")).toString();
    if (of != model.name)
        return {std::nullopt, QStringLiteral("\"model\": a backup of a %1 switcher, not of a %2")
                                  .arg(of.isEmpty() ? QStringLiteral("unnamed") : of, model.name)};

    Backup b;
    b.model = of;
    b.program = root.value(QStringLiteral("program")).toString();
    b.made = QDateTime::fromString(root.value(QStringLiteral("made")).toString(), Qt::ISODate);
    Reader r(root, model);
    b.routing = r.ports(QStringLiteral("routing"), model.outputs, model.inputs, true);
    if (!r.failed())
        b.edids = r.edids();
    if (!r.failed())
        b.irCodes = r.irCodes();
    if (!r.failed())
        b.irRouting = r.ports(QStringLiteral("ir_routing"), model.irPorts, model.irPorts, false);
    if (!r.failed())
        r.settings(b);
    if (!r.failed())
        r.presets(b);
    if (r.failed())
        return {std::nullopt, r.error};
    b.labels = root.value(QStringLiteral("labels"));
    b.scenes = root.value(QStringLiteral("scenes"));
    for (const QJsonValue& v : root.value(QStringLiteral("not_read")).toArray())
        b.notRead << v.toString();
    return {b, {}};
}

QByteArray print(const Backup& b) {
    QJsonArray edids;
    for (const auto& image : b.edids)
        edids.append(image ? QJsonValue(hexOf(*image)) : QJsonValue(QJsonValue::Null));
    QJsonObject o{
        {QStringLiteral("format"), QLatin1String(kFormat)},
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("made"), b.made.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("program"), b.program},
        {QStringLiteral("model"), b.model},
        {QStringLiteral("routing"), numbers(b.routing)},
        {QStringLiteral("edid"), edids},
        {QStringLiteral("ir_codes"), QJsonArray::fromStringList(b.irCodes)},
        {QStringLiteral("ir_routing"), numbers(b.irRouting)},
        {QStringLiteral("settings"), QJsonObject{{QStringLiteral("long_cable"), b.longCable},
                                                 {QStringLiteral("edid_mode"), b.edidMode}}},
        {QStringLiteral("not_read"), QJsonArray::fromStringList(b.notRead)},
    };
    if (b.presets) {
        QJsonArray presets;
        for (const QList<int>& p : *b.presets)
            presets.append(numbers(p));
        o.insert(QStringLiteral("presets"), presets);
    }
    if (!b.labels.isUndefined())
        o.insert(QStringLiteral("labels"), b.labels);
    if (!b.scenes.isUndefined())
        o.insert(QStringLiteral("scenes"), b.scenes);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QList<Difference> differences(const Backup& wanted, const Backup& present, const Parts& parts) {
    using K = Item::Kind;
    QList<Difference> out;
    if (parts.edid)
        for (qsizetype k = 0; k < wanted.edids.size() && k < present.edids.size(); ++k) {
            const auto& to = wanted.edids.at(k);
            const auto& from = present.edids.at(k);
            if (!to || from == to)
                continue;
            int differ = 0, first = -1;
            for (int i = 0; i < edid::kImageSize; ++i)
                if (!from || from->at(i) != to->at(i)) {
                    ++differ;
                    first = first < 0 ? i : first;
                }
            const QString at = QStringLiteral("%1 bytes differ, the first at 0x%2")
                                   .arg(differ)
                                   .arg(first, 2, 16, QLatin1Char('0'));
            out << Difference{
                {K::Edid, int(k) + 1}, 0, from ? at : QStringLiteral("holds no valid EDID"), at};
        }
    if (parts.ir) {
        for (qsizetype k = 0; k < wanted.irCodes.size() && k < present.irCodes.size(); ++k)
            if (!ir::sameCode(wanted.irCodes.at(k), present.irCodes.at(k)))
                out << Difference{
                    {K::IrCodes, 0}, int(k), present.irCodes.at(k), wanted.irCodes.at(k)};
        for (qsizetype k = 0; k < wanted.irRouting.size() && k < present.irRouting.size(); ++k)
            if (wanted.irRouting.at(k) != present.irRouting.at(k))
                out << Difference{{K::IrRouting, int(k) + 1},
                                  0,
                                  QString::number(present.irRouting.at(k)),
                                  QString::number(wanted.irRouting.at(k))};
    }
    if (parts.settings) {
        if (wanted.longCable != present.longCable)
            out << Difference{
                {K::Settings, 0}, 0, modeName(present.longCable), modeName(wanted.longCable)};
        if (wanted.edidMode != present.edidMode)
            out << Difference{{K::Settings, 0},
                              1,
                              QString::number(present.edidMode),
                              QString::number(wanted.edidMode)};
    }
    if (parts.routing)
        for (qsizetype k = 0; k < wanted.routing.size() && k < present.routing.size(); ++k)
            if (wanted.routing.at(k) > 0 && wanted.routing.at(k) != present.routing.at(k))
                out << Difference{{K::Routing, int(k) + 1},
                                  0,
                                  QString::number(present.routing.at(k)),
                                  QString::number(wanted.routing.at(k))};
    return out;
}

QString itemName(const Item& item) {
    switch (item.kind) {
    case Item::Kind::Routing:
        return QStringLiteral("output %1").arg(item.index);
    case Item::Kind::Edid:
        return QStringLiteral("input %1 EDID").arg(item.index);
    case Item::Kind::IrCodes:
        return QStringLiteral("IR code table");
    case Item::Kind::IrRouting:
        return QStringLiteral("IR output %1").arg(item.index);
    case Item::Kind::Settings:
        return QStringLiteral("settings");
    case Item::Kind::Presets:
        break;
    }
    return QStringLiteral("presets");
}

QString differenceLine(const Difference& d) {
    const QString arrow = QStringLiteral(" \u2192 ");
    switch (d.item.kind) {
    case Item::Kind::Routing:
        return itemName(d.item) + QStringLiteral(": input ") + d.from + arrow +
               QStringLiteral("input ") + d.to;
    case Item::Kind::IrRouting:
        return itemName(d.item) + QStringLiteral(": IR input ") + d.from + arrow +
               QStringLiteral("IR input ") + d.to;
    case Item::Kind::IrCodes:
        return QStringLiteral("IR code %1: ").arg(d.entry) + d.from + arrow + d.to;
    case Item::Kind::Settings:
        return (d.entry == 0 ? QStringLiteral("long-cable mode: ")
                             : QStringLiteral("EDID mode: ")) +
               d.from + arrow + d.to;
    case Item::Kind::Edid:
        return itemName(d.item) + QStringLiteral(": ") + d.from;
    case Item::Kind::Presets:
        break;
    }
    return itemName(d.item);
}

} // namespace backup
