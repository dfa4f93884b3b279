#include "fuzz/states.h"

#include "frontends/windows/edid/edidset.h"
#include "frontends/windows/ir/irmatrix.h"
#include "frontends/windows/ir/irset.h"
#include "frontends/windows/main_window/form1.h"
#include "frontends/windows/network/setip.h"
#include "frontends/windows/settings/setting.h"
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

void fillIrTable(IrSet& w) {
    for (int i = 0; i < 81; ++i)
        w.codetxt[i]->setText(QString::number(i, 16).toUpper());
}

} // namespace

void enter(Form1& f, std::uint8_t s) {
    switch (s % StateCount) {
    case MainOnly:
        break;
    case SettingsIdle:
        f.Command5_Click();
        break;
    case SettingsPendingOne:
        f.Command5_Click();
        f.setting().session().factoryReset();
        break;
    case SettingsPendingAll:
        f.Command5_Click();
        f.setting().session().copyEdid(0, f.setting().session().model().inputs);
        break;
    case EdidIdle:
        f.Command9_Click();
        break;
    case EdidReading:
        f.Command9_Click();
        f.edidSet().ReadEDIDBtn_Click();
        break;
    case EdidDownloading:
        f.Command9_Click();
        f.edidSet().DownloadBtn_Click();
        break;
    case EdidVerifying:
        // Where a download leaves the window once byte 255 was accepted.
        f.Command9_Click();
        f.edidSet().DownloadBtn_Click();
        for (int i = 0; i < 257; ++i) {
            QString ok = QString::fromLatin1(i == 0 ? "rdy\r" : "ok\r");
            f.device().router().readLine(ok);
        }
        break;
    case IrIdle:
        f.IrSetOpen();
        break;
    case IrReading:
        f.IrSetOpen();
        f.irSet().Command1_Click();
        break;
    case IrWriting:
        f.IrSetOpen();
        fillIrTable(f.irSet());
        f.irSet().Command2_Click();
        break;
    case IrRouting:
        f.IrMatrixOpen();
        break;
    }
}

namespace {

// A stray Escape on each open feature window: it closes an idle one and
// never one whose transfer is in progress.
void pressEscape(Form1& f) {
    for (FeatureWindow* w : std::initializer_list<FeatureWindow*>{&f.setting(), &f.edidSet(),
                                                                  &f.irSet(), &f.irMatrix()}) {
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

void poke(Form1& f, std::uint8_t op) {
    switch (op % 4) {
    case 0:
        f.Command6_Click();
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
        f.Command2_Click();
        break;
    case 3:
        pressEscape(f);
        break;
    }
}

void leave(Form1& f) {
    // Whatever the input left pending must not leak into the next one.
    f.modes().stopWatchdog();
    f.setting().close();
    f.edidSet().close();
    f.irSet().close();
    f.irMatrix().close();
    f.setIp().close();
}

} // namespace fuzzstates
