#include "fuzz/states.h"

#include "edid/edidset.h"
#include "ir/irmatrix.h"
#include "ir/irset.h"
#include "main_window/form1.h"
#include "network/setip.h"
#include "settings/setting.h"

namespace fuzzstates {

namespace {
constexpr int kStates = 5;
}

void enter(Form1& f, std::uint8_t s) {
    switch (s % kStates) {
    case 0: // the main window alone
        break;
    case 1:
        f.Command5_Click();
        break;
    case 2:
        f.Command9_Click();
        break;
    case 3:
        f.IrSetOpen();
        break;
    case 4:
        f.IrMatrixOpen();
        break;
    }
}

void poke(Form1& f, std::uint8_t op) {
    switch (op % 3) {
    case 0:
        f.Command6_Click();
        break;
    case 1:
        f.Command1_Click(11 + op % 80);
        break;
    case 2:
        f.Command2_Click();
        break;
    }
}

void leave(Form1& f) {
    f.setting().close();
    f.edidSet().close();
    f.irSet().close();
    f.irMatrix().close();
    f.setIp().close();
}

} // namespace fuzzstates
