// The decoded image as JSON, for "edid decode --json" and for comparing two
// images field by field.

#include "core/edid/decode/edid_text.h"

#include <QJsonArray>
#include <cmath>

namespace edid {

namespace {

QJsonValue nullIfEmpty(const QString& s) {
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

QJsonValue nullIfZero(qint64 v) {
    return v == 0 ? QJsonValue() : QJsonValue(v);
}

template <typename T> QJsonArray arrayOf(const QList<T>& list) {
    QJsonArray a;
    for (const T& v : list)
        a.append(v);
    return a;
}

QJsonObject timingJson(const DetailedTiming& t) {
    return {{"width", t.hActive},
            {"height", t.frameHeight()},
            {"interlaced", t.interlaced},
            {"pixel_clock_khz", t.pixelClockKhz},
            {"h_front", t.hFront},
            {"h_sync", t.hSync},
            {"h_back", t.hBack},
            {"v_front", t.vFront},
            {"v_sync", t.vSync},
            {"v_back", t.vBack},
            {"h_border", t.hBorder},
            {"v_border", t.vBorder},
            {"width_mm", t.widthMm},
            {"height_mm", t.heightMm},
            // Rounded as a double: a nonsense timing can exceed any int.
            {"refresh_hz", std::round(t.refreshHz() * 1000) / 1000.0},
            {"offset", t.offset}};
}

QJsonObject audioJson(const ShortAudio& a) {
    QJsonObject o{{"format_code", a.formatCode},
                  {"format", a.name()},
                  {"channels", a.channels},
                  {"rates_khz", arrayOf(a.ratesKhz)},
                  {"bits", a.formatCode == 1 ? QJsonValue(arrayOf(a.bits)) : QJsonValue()}};
    if (a.maxBitrateKbps)
        o.insert("max_bitrate_kbps", a.maxBitrateKbps);
    return o;
}

QJsonValue ctaJson(const DecodedEdid& d) {
    if (d.cta.isEmpty())
        return QJsonValue();
    QJsonArray vics, native, audio, blocks, yuv420;
    QString address;
    int tmds = 0, forum = 0;
    bool tmdsGiven = false;
    QStringList hdr, speakers;
    for (const CtaExtension& c : d.cta) {
        for (const ShortVideo& v : c.vics) {
            vics.append(v.vic);
            if (v.native)
                native.append(v.vic);
        }
        for (const ShortAudio& a : c.audio)
            audio.append(audioJson(a));
        for (const DataBlock& b : c.dataBlocks)
            blocks.append(QJsonObject{
                {"offset", b.offset},
                {"tag", b.tag},
                {"extended_tag", b.extendedTag < 0 ? QJsonValue() : QJsonValue(b.extendedTag)},
                {"length", b.length},
                {"name", b.name}});
        for (int v : c.ycbcr420OnlyVics)
            yuv420.append(v);
        if (address.isEmpty())
            address = c.physicalAddress;
        if (!tmdsGiven && c.maxTmdsGiven) {
            tmdsGiven = true;
            tmds = c.maxTmdsMhz;
        }
        forum = forum ? forum : c.hdmiForumMaxTmdsMhz;
        hdr << c.hdrTransfers;
        speakers << c.speakers;
    }
    const CtaExtension& first = d.cta.first();
    return QJsonObject{{"revision", first.revision},
                       {"vics", vics},
                       {"native_vics", native},
                       {"audio", audio},
                       {"physical_address", nullIfEmpty(address)},
                       {"max_tmds_mhz", tmdsGiven ? QJsonValue(tmds) : QJsonValue()},
                       {"hdmi_forum_max_tmds_mhz", nullIfZero(forum)},
                       {"underscan", first.underscan},
                       {"basic_audio", first.basicAudio},
                       {"ycbcr444", first.ycbcr444},
                       {"ycbcr422", first.ycbcr422},
                       {"native_dtds", first.nativeDtds},
                       {"speakers", QJsonArray::fromStringList(speakers)},
                       {"hdr_transfer_functions", QJsonArray::fromStringList(hdr)},
                       {"ycbcr420_only_vics", yuv420},
                       {"data_blocks", blocks}};
}

QJsonValue rangeLimitsJson(const BaseBlock& b) {
    for (const Descriptor& desc : b.descriptors)
        if (desc.limits)
            return QJsonObject{{"min_v_hz", desc.limits->minVHz},
                               {"max_v_hz", desc.limits->maxVHz},
                               {"min_h_khz", desc.limits->minHKhz},
                               {"max_h_khz", desc.limits->maxHKhz},
                               {"max_clock_mhz", nullIfZero(desc.limits->maxClockMhz)},
                               {"timing_support", desc.limits->timingSupport}};
    return QJsonValue();
}

} // namespace

QJsonObject decodedJson(const DecodedEdid& d) {
    const BaseBlock& b = d.base;
    const bool identified = d.size >= 18;
    const bool versioned = d.size >= 20;
    QJsonArray dtds;
    for (const DetailedTiming& t : d.detailedTimings())
        dtds.append(timingJson(t));
    QJsonArray findings;
    for (const Finding& f : d.findings)
        findings.append(f.offset >= 0 ? QStringLiteral("byte %1: %2").arg(f.offset).arg(f.text)
                                      : f.text);
    QJsonArray standard;
    for (const StandardTiming& t : b.standardTimings)
        standard.append(QStringLiteral("%1x%2 %3 Hz").arg(t.width).arg(t.height).arg(t.rateHz));
    const bool weekOk = identified && b.week != 0 && !b.modelYear;
    return {
        {"blocks", d.blocks},
        {"checksums_ok", arrayOf(d.checksumsOk)},
        {"version",
         versioned ? QJsonValue(QStringLiteral("%1.%2").arg(b.versionMajor).arg(b.versionMinor))
                   : QJsonValue()},
        {"manufacturer", identified ? QJsonValue(b.manufacturer) : QJsonValue()},
        {"product_code", identified ? QJsonValue(b.productCode) : QJsonValue()},
        {"serial_number", nullIfZero(b.serialNumber)},
        {"week", weekOk ? QJsonValue(b.week) : QJsonValue()},
        {"year", identified && !b.modelYear ? QJsonValue(b.year) : QJsonValue()},
        {"model_year", identified && b.modelYear ? QJsonValue(b.year) : QJsonValue()},
        {"name", d.hasProductName() ? QJsonValue(d.productName()) : QJsonValue()},
        {"serial_text", nullIfEmpty(d.serialText())},
        {"dtds", dtds},
        {"cta", ctaJson(d)},
        {"findings", findings},
        {"summary", d.summary},
        {"header_ok", b.headerOk},
        {"digital", b.digital},
        {"interface", nullIfEmpty(b.interface)},
        {"bits_per_color", nullIfZero(b.bitsPerColor)},
        {"screen_cm",
         b.widthCm && b.heightCm ? QJsonValue(QJsonArray{b.widthCm, b.heightCm}) : QJsonValue()},
        {"aspect_ratio", nullIfEmpty(b.aspectRatio)},
        {"gamma", b.gammaX100 ? QJsonValue(b.gammaX100 / 100.0) : QJsonValue()},
        {"established_timings", QJsonArray::fromStringList(b.establishedTimings)},
        {"standard_timings", standard},
        {"range_limits", rangeLimitsJson(b)},
        {"extension_count", b.extensionCount},
    };
}

QJsonObject decodedJson(QByteArrayView bytes) {
    return decodedJson(decodeEdid(bytes));
}

} // namespace edid
