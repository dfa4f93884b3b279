#include "frontends/server/platform/password_prompt.h"

#include <cstdio>
#include <iterator>

#ifdef Q_OS_UNIX
#include <csignal>
#include <termios.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#include <windows.h>
#endif

namespace server {

namespace {

// A password's most (1024 bytes) and one more, so that a longer line is
// refused whole rather than cut down to one that would be accepted.
constexpr qsizetype kKept = 1025;

std::optional<QByteArray> readStandardLine() {
    QByteArray line;
    int c = 0;
    while ((c = std::getc(stdin)) != EOF && c != '\n')
        if (line.size() < kKept + 1) // room for a CR that ends it
            line.append(char(c));
    if (c == EOF && line.isEmpty())
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

#ifdef Q_OS_UNIX

// The terminal as it was before echo went off, for a signal that ends the
// program halfway through the typing.
termios original;
struct sigaction previous[4];
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void restoreAndRaise(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &original);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Echo off for as long as it lives; the terminal is restored however the
// reading ends.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &original) != 0)
            return;
        struct sigaction restore = {};
        restore.sa_handler = restoreAndRaise;
        sigemptyset(&restore.sa_mask);
        for (int i = 0; i < int(std::size(kSignals)); ++i)
            ::sigaction(kSignals[i], &restore, &previous[i]);
        termios quiet = original;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        on_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        if (!on_)
            restoreSignals();
    }
    ~EchoOff() {
        if (!on_)
            return;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &original);
        restoreSignals();
        std::fputc('\n', stderr); // the Enter the terminal did not show
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    static void restoreSignals() {
        for (int i = 0; i < int(std::size(kSignals)); ++i)
            ::sigaction(kSignals[i], &previous[i], nullptr);
    }
    bool on_ = false;
};

#elif defined(Q_OS_WIN)

class EchoOff {
public:
    EchoOff() : in_(::GetStdHandle(STD_INPUT_HANDLE)) {
        on_ = ::GetConsoleMode(in_, &mode_) &&
              ::SetConsoleMode(in_, mode_ & ~DWORD(ENABLE_ECHO_INPUT));
    }
    ~EchoOff() {
        if (!on_)
            return;
        ::SetConsoleMode(in_, mode_);
        std::fputc('\n', stderr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    HANDLE in_;
    DWORD mode_ = 0;
    bool on_ = false;
};

#else

struct EchoOff {}; // typed with echo

#endif

} // namespace

bool StandardInputPasswords::interactive() const {
#ifdef Q_OS_UNIX
    return ::isatty(STDIN_FILENO) == 1;
#elif defined(Q_OS_WIN)
    return ::_isatty(::_fileno(stdin)) != 0;
#else
    return false;
#endif
}

std::optional<QByteArray> StandardInputPasswords::readLine(const QString& prompt) {
    if (!interactive())
        return readStandardLine();
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    const EchoOff quiet;
    return readStandardLine();
}

} // namespace server
