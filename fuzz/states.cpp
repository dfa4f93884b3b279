#include "fuzz/states.h"

#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/ir/ir_routing_window.h"
#include "frontends/windows/main_window/main_window.h"
#include "frontends/windows/network/network_window.h"
#include "frontends/windows/settings/settings_window.h"
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <cstdlib>

namespace fuzzstates {

namespace {

enum State {
    MainOnly,
    SettingsIdle,
    SettingsPendingOne,
    SettingsPendingAll,
    EdidIdle,
    EdidReading,
    EdidDownloading,
    EdidVerifying,
    IrIdle,
    IrReading,
    IrWriting,
    IrRouting,
    StateCount
};

void fillIrTable(IrCodesWindow& w) {
    for (int i = 0; i < 81; ++i)
        w.codeBoxes[i]->setText(QString::number(i, 16).toUpper());
}

} // namespace

void enter(MainWindow& f, std::uint8_t s) {
    switch (s % StateCount) {
    case MainOnly:
        break;
    case SettingsIdle:
        f.onSettingsClicked();
        break;
    case SettingsPendingOne:
        f.onSettingsClicked();
        f.settingsWindow().session().factoryReset();
        break;
    case SettingsPendingAll:
        f.onSettingsClicked();
        f.settingsWindow().session().copyEdid(0, f.settingsWindow().session().model().inputs);
        break;
    case EdidIdle:
        f.onEdidClicked();
        break;
    case EdidReading:
        f.onEdidClicked();
        f.edidWindow().onReadClicked();
        break;
    case EdidDownloading:
        f.onEdidClicked();
        f.edidWindow().onDownloadClicked();
        break;
    case EdidVerifying:
        // Where a download leaves the window once byte 255 was accepted.
        f.onEdidClicked();
        f.edidWindow().onDownloadClicked();
        for (int i = 0; i < 257; ++i) {
            QString ok = QString::fromLatin1(i == 0 ? "rdy\r" : "ok\r");
            f.device().router().readLine(ok);
        }
        break;
    case IrIdle:
        f.onIrCodesClicked();
        break;
    case IrReading:
        f.onIrCodesClicked();
        f.irCodesWindow().onReadClicked();
        break;
    case IrWriting:
        f.onIrCodesClicked();
        fillIrTable(f.irCodesWindow());
        f.irCodesWindow().onWriteClicked();
        break;
    case IrRouting:
        f.onIrRoutingClicked();
        break;
    }
}

namespace {

// A stray Escape on each open feature window: it closes an idle one and
// never one whose transfer is in progress.
void pressEscape(MainWindow& f) {
    for (FeatureWindow* w : std::initializer_list<FeatureWindow*>{
             &f.settingsWindow(), &f.edidWindow(), &f.irCodesWindow(), &f.irRoutingWindow()}) {
        if (!w->isVisible())
            continue;
        const bool busy = w->busy();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &escape);
        if (busy != w->isVisible())
            std::abort();
    }
}

} // namespace

void poke(MainWindow& f, std::uint8_t op) {
    switch (op % 4) {
    case 0:
        f.onStatusClicked();
        break;
    case 1: {
        // A routing button: an input of an output, or one of its arrows.
        const protocol::Model& m = f.device().model();
        const int output = op % m.outputs + 1;
        const int place = op / m.outputs % (m.inputs + 2) + 1;
        if (place <= m.inputs)
            f.routeClick(output, place);
        else
            f.stepClick(output, place == m.inputs + 2);
        break;
    }
    case 2:
        f.onClearClicked();
        break;
    case 3:
        pressEscape(f);
        break;
    }
}

void leave(MainWindow& f) {
    // Whatever the input left pending must not leak into the next one.
    f.modes().stopWatchdog();
    f.settingsWindow().close();
    f.edidWindow().close();
    f.irCodesWindow().close();
    f.irRoutingWindow().close();
    f.networkWindow().close();
}

} // namespace fuzzstates
