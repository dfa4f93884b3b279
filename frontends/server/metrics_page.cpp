#include "frontends/server/metrics_page.h"

#include "frontends/server/line_owner.h"
#include "frontends/server/line_port_server.h"
#include "frontends/server/mqtt/mqtt_client.h"
#include "frontends/server/platform/process_stats.h"
#include "frontends/server/videohub_server.h"
#include "frontends/server/web/web_auth.h"
#include "frontends/server/web/web_server.h"
#include "state/router_state.h"
#include "state/scenes/scene_service.h"

#include <charconv>
#include <cstring>
#include <initializer_list>

namespace server {

namespace {

// The longest sample line: a name, three labels of one word each and a
// number.
constexpr qsizetype kLineBound = 192;

struct Label {
    const char* name;
    const char* value; // a word: nothing to escape
};

// Writes into a page reserved beforehand: only characters and numbers go
// in, through buffers on the stack.
class Writer {
public:
    explicit Writer(QByteArray& out) : out_(out) {}

    void head(const char* name, const char* type, const char* help) {
        put("# HELP ");
        put(name);
        out_.append(' ');
        put(help);
        put("\n# TYPE ");
        put(name);
        out_.append(' ');
        put(type);
        out_.append('\n');
    }
    template <typename T>
    void sample(const char* name, std::initializer_list<Label> labels, T value,
                const char* suffix = "") {
        put(name);
        put(suffix);
        if (labels.size() > 0) {
            char sep = '{';
            for (const Label& l : labels) {
                out_.append(sep);
                put(l.name);
                put("=\"");
                put(l.value);
                out_.append('"');
                sep = ',';
            }
            out_.append('}');
        }
        out_.append(' ');
        number(value);
        out_.append('\n');
    }
    template <typename T> void number(T value) {
        char buf[32];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
        out_.append(buf, ec == std::errc() ? end - buf : 0);
    }
    void put(const char* text) { out_.append(text, qsizetype(std::strlen(text))); }

private:
    QByteArray& out_;
};

// A label value as the format wants it: backslash, double quote and line
// feed escaped.
QByteArray escaped(const QString& value) {
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\' || c == '"')
            out.append('\\').append(c);
        else if (c == '\n')
            out.append("\\n");
        else
            out.append(c);
    }
    return out;
}

void writeRequests(Writer& w, const RouterState& state) {
    w.head("hdmi_matrix_requests_total", "counter",
           "Requests to change the switcher or the shared state, by front end, kind and how "
           "they ended.");
    for (int f = 0; f < kFrontends; ++f)
        for (int k = 0; k < kRequestKinds; ++k)
            for (int o = 0; o < kOutcomes; ++o)
                if (const quint64 n =
                        state.requests().count(Frontend(f), RequestKind(k), Outcome(o)))
                    w.sample("hdmi_matrix_requests_total",
                             {{"frontend", frontendWord(Frontend(f))},
                              {"kind", requestKindWord(RequestKind(k))},
                              {"outcome", outcomeWord(Outcome(o))}},
                             n);
    const TimeBuckets& t = state.replyTimes();
    w.head("hdmi_matrix_reply_seconds", "histogram",
           "How long the switcher took to answer a request.");
    for (int i = 0; i <= int(TimeBuckets::kBounds.size()); ++i) {
        char le[32];
        if (i < int(TimeBuckets::kBounds.size())) {
            const auto [end, ec] = std::to_chars(le, le + sizeof le - 1, TimeBuckets::kBounds[i]);
            *end = '\0';
        } else {
            std::strcpy(le, "+Inf");
        }
        w.sample("hdmi_matrix_reply_seconds", {{"le", le}}, t.atMost(i), "_bucket");
    }
    w.sample("hdmi_matrix_reply_seconds", {}, t.seconds(), "_sum");
    w.sample("hdmi_matrix_reply_seconds", {}, t.count(), "_count");
}

void writeSwitcher(Writer& w, const RouterState& state, const LineOwner* owner) {
    w.head("hdmi_matrix_switcher_up", "gauge", "Whether the switcher answers (1) or not (0).");
    w.sample("hdmi_matrix_switcher_up", {}, int(state.present()));
    w.head("hdmi_matrix_switcher_absent_total", "counter", "Times the switcher stopped answering.");
    w.sample("hdmi_matrix_switcher_absent_total", {}, state.absences());
    if (owner) {
        w.head("hdmi_matrix_link_reconnects_total", "counter",
               "Times the switcher's port opened again after it was lost.");
        w.sample("hdmi_matrix_link_reconnects_total", {}, owner->reconnects());
    }
    w.head("hdmi_matrix_output_input", "gauge",
           "The input each output shows, while the switcher answers.");
    if (!state.present())
        return;
    for (int o = 1; o <= state.model().outputs; ++o) {
        if (state.input(o) == 0)
            continue;
        char output[12];
        *std::to_chars(output, output + sizeof output - 1, o).ptr = '\0';
        w.sample("hdmi_matrix_output_input", {{"output", output}}, state.input(o));
    }
}

void writeProcess(Writer& w) {
    const ProcessStats p = processStats();
    if (!p.known)
        return;
    w.head("process_cpu_seconds_total", "counter", "User and system CPU time spent in seconds.");
    w.sample("process_cpu_seconds_total", {}, p.cpuSeconds);
    w.head("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
    w.sample("process_resident_memory_bytes", {}, p.residentBytes);
    w.head("process_open_fds", "gauge", "Number of open file descriptors.");
    w.sample("process_open_fds", {}, p.openFiles);
    w.head("process_start_time_seconds", "gauge",
           "Start time of the process since unix epoch in seconds.");
    w.sample("process_start_time_seconds", {}, p.startTime);
}

} // namespace

MetricsPage::MetricsPage(const Sources& sources, const QString& version, const QString& model)
    : sources_(sources) {
    buildInfo_ = "# HELP hdmi_matrix_build_info The server's version and the switcher's model.\n"
                 "# TYPE hdmi_matrix_build_info gauge\n"
                 "hdmi_matrix_build_info{version=\"" +
                 escaped(version) + "\",model=\"" + escaped(model) + "\"} 1\n";
}

qsizetype MetricsPage::bound() const {
    qsizetype lines = 64 + qsizetype(TimeBuckets::kBounds.size());
    if (const RouterState* s = sources_.state) {
        lines += s->model().outputs;
        for (int f = 0; f < kFrontends; ++f)
            for (int k = 0; k < kRequestKinds; ++k)
                for (int o = 0; o < kOutcomes; ++o)
                    lines += s->requests().count(Frontend(f), RequestKind(k), Outcome(o)) != 0;
    }
    lines += kFrontends * (kRefusals + kOutcomes);
    return buildInfo_.size() + lines * kLineBound;
}

QByteArray MetricsPage::render() const {
    QByteArray page;
    page.reserve(bound());
    Writer w(page);
    page.append(buildInfo_);
    if (const RouterState* state = sources_.state) {
        writeSwitcher(w, *state, sources_.owner);
        writeRequests(w, *state);
    }
    w.head("hdmi_matrix_clients", "gauge", "Clients connected, by front end.");
    if (sources_.videohub)
        w.sample("hdmi_matrix_clients", {{"frontend", "videohub"}}, sources_.videohub->clients());
    if (sources_.linePort)
        w.sample("hdmi_matrix_clients", {{"frontend", "line"}}, sources_.linePort->clients());
    if (sources_.web)
        w.sample("hdmi_matrix_clients", {{"frontend", "web"}}, sources_.web->listener().clients());
    w.head("hdmi_matrix_clients_refused_total", "counter",
           "Connections closed at once, by front end and reason.");
    for (int f = 0; f < kFrontends; ++f)
        for (int r = 0; r < kRefusals; ++r)
            if (refused_[f][r])
                w.sample(
                    "hdmi_matrix_clients_refused_total",
                    {{"frontend", frontendWord(Frontend(f))}, {"reason", refusalWord(Refusal(r))}},
                    refused_[f][r]);
    if (sources_.web) {
        w.head("hdmi_matrix_sign_in_failures_total", "counter",
               "Sign-ins refused for a wrong name or password.");
        w.sample("hdmi_matrix_sign_in_failures_total", {}, sources_.web->auth().signInFailures());
    }
    if (const SceneService* scenes = sources_.scenes) {
        w.head("hdmi_matrix_scene_recalls_total", "counter",
               "Scene recalls, by what asked for them and how they ended.");
        for (int f = 0; f < kFrontends; ++f)
            for (int o = 0; o < kOutcomes; ++o)
                if (const quint64 n = scenes->recalls(Frontend(f), Outcome(o)))
                    w.sample("hdmi_matrix_scene_recalls_total",
                             {{"trigger", frontendWord(Frontend(f))},
                              {"outcome", outcomeWord(Outcome(o))}},
                             n);
        w.head("hdmi_matrix_schedule_missed_total", "counter",
               "Scheduled recalls that did not happen: the server was not running, or the "
               "switcher refused every try.");
        w.sample("hdmi_matrix_schedule_missed_total", {}, scenes->missed());
    }
    if (sources_.mqtt) {
        w.head("hdmi_matrix_mqtt_connected", "gauge",
               "Whether the server is connected to its MQTT broker.");
        w.sample("hdmi_matrix_mqtt_connected", {}, int(sources_.mqtt->isConnected()));
    }
    writeProcess(w);
    return page;
}

} // namespace server
