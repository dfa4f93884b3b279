#include "core/platform/qt_timer.h"

namespace platform {

QtTimer::QtTimer(QObject* parent) : Timer(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Timer::timeout);
}

} // namespace platform
