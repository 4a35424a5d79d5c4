// What lzhx and lzhpack do alike on their command lines: the usage and its
// exit code, and the interrupts that end their work.
#pragma once

#include <csignal>
#include <cstdio>

// The exit code after a wrong command line (EX_USAGE, as BSD's sysexits.h).
const int UsageExit = 64;

// Asked for, the usage goes to standard output; after a wrong command line,
// to standard error.
inline int Usage(const char* text, bool asked) {
    std::fputs(text, asked ? stdout : stderr);
    return asked ? 0 : UsageExit;
}

// SIGINT, SIGTERM and SIGHUP; Ctrl-C (SIGINT) and Ctrl-Break (SIGBREAK) on
// Windows: each goes to handler, but for a signal ignored from the start,
// which stays ignored: a job under nohup, or in the background of a shell
// without job control, is not meant to end by it.
inline void CatchInterrupts(void (*handler)(int)) {
    static const int Signals[] = {
        SIGINT,
        SIGTERM,
#ifdef SIGHUP
        SIGHUP,
#endif
#ifdef SIGBREAK
        SIGBREAK,
#endif
    };
    for (int signal : Signals)
        if (std::signal(signal, handler) == SIG_IGN)
            std::signal(signal, SIG_IGN);
}
