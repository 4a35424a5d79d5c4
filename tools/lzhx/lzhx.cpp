// lzhx: the extraction engine on the command line.
//
//   lzhx [-q] FILE DEST [MEMBER]
//
// Runs one job exactly as the setup's progress dialog does (Begin, then Step
// until done or failed), prints each member's name as it starts and a progress
// bar when standard error is a terminal, and exits with the engine's error code.
// An interrupt ends the job as the dialog's Cancel does.
#include "ExtractorLZH.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

const int UsageExit = 64;

CExtractorLZH Extractor;

// The signal that came, 0 while none has: set by the handler, read between
// two steps, where Abort may end the job.
volatile std::sig_atomic_t Interrupted = 0;

extern "C" void OnInterrupt(int signal) {
    Interrupted = signal;
}

// SIGINT, SIGTERM and SIGHUP; Ctrl-C (SIGINT) and Ctrl-Break (SIGBREAK) on
// Windows.
void CatchInterrupts() {
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
    // A signal ignored from the start stays ignored: a job under nohup, or
    // in the background of a shell without job control, is not meant to end
    // by it.
    for (int signal : Signals)
        if (std::signal(signal, OnInterrupt) == SIG_IGN)
            std::signal(signal, SIG_IGN);
}

const char* ErrorText(int code) {
    switch (code) {
    case ErrOpenArchive:
        return "cannot open the archive file";
    case ErrCreateFolder:
        return "cannot create the destination folder";
    case ErrCreateFile:
        return "cannot create an output file";
    case ErrFileAccess:
        return "a read or write failed";
    case ErrNotFound:
        return "no archive in the file, or no such member";
    case ErrBadHeader:
        return "a member header is damaged";
    case ErrBadData:
        return "the compressed data is damaged or cut short";
    case ErrMethod:
        return "the member's compression method is not supported";
    case ErrCrc:
        return "CRC error: the extracted data is damaged";
    default:
        return "unknown error";
    }
}

int Usage() {
    std::fprintf(stderr, "usage: lzhx [-q] FILE DEST [MEMBER]\n"
                         "  Extracts the LZH archive found in FILE into the folder DEST:\n"
                         "  every member, or only MEMBER (case-insensitive).\n"
                         "  -q  print nothing but errors\n"
                         "  Exit status: 0 on success, else the engine's error code;\n"
                         "  128 + the signal when interrupted (130 for Ctrl-C): the member\n"
                         "  being written is removed, the members before it stay.\n");
    return UsageExit;
}

// The engine takes Windows paths; on other systems a slash is a separator too.
std::string EnginePath(const char* path) {
    std::string out(path);
#ifndef _WIN32
    for (char& c : out)
        if (c == '/')
            c = '\\';
#endif
    return out;
}

// A member's name comes from the archive: a control byte in it would reach
// the terminal as a command (a new title, a cleared screen, a moved cursor).
// Every byte below 0x20 and 0x7F is printed as \xNN instead.
std::string Printable(const char* name) {
    std::string out;
    for (const char* p = name; *p != 0; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

class Reporter {
  public:
    Reporter(bool quiet) : Quiet(quiet), Bar(!quiet && isatty(fileno(stderr))) {}

    // Called after Begin and after every Step that left work to do.
    void Show() {
        if (Quiet)
            return;
        const char* name = Extractor.GetMemberName();
        const int percent = Extractor.GetPercent();
        const bool started = !Started || percent < Percent || Name != name;
        if (started) {
            ClearBar();
            std::printf("%s\n", Printable(name).c_str());
            std::fflush(stdout);
            Started = true;
            Name = name;
        }
        if (Bar && (started || percent != Percent))
            DrawBar(percent);
        Percent = percent;
    }

    void End() { ClearBar(); }

  private:
    void DrawBar(int percent) {
        const int width = 40;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%% %s", filled,
                     "########################################", width - filled, "", percent,
                     Printable(Name.c_str()).c_str());
        std::fflush(stderr);
        BarShown = true;
    }

    void ClearBar() {
        if (BarShown)
            std::fprintf(stderr, "\r\033[K");
        BarShown = false;
    }

    bool Quiet;
    bool Bar;
    bool Started = false;
    bool BarShown = false;
    std::string Name;
    int Percent = 0;
};

} // namespace

int main(int argc, char** argv) {
    int arg = 1;
    bool quiet = false;
    if (arg < argc && std::strcmp(argv[arg], "-q") == 0) {
        quiet = true;
        ++arg;
    }
    const int rest = argc - arg;
    if (rest < 2 || rest > 3 || argv[arg][0] == '-')
        return Usage();
    const std::string archive = EnginePath(argv[arg]);
    const std::string dest = EnginePath(argv[arg + 1]);
    const char* member = rest == 3 ? argv[arg + 2] : nullptr;

    CatchInterrupts();
    Reporter reporter(quiet);
    bool ok = Extractor.Begin(archive.c_str(), dest.c_str(), member);
    bool done = false;
    if (quiet) {
        while (ok && !done && !Interrupted)
            ok = Extractor.Step(done);
    } else {
        while (ok && !done && !Interrupted) {
            reporter.Show();
            ok = Extractor.Step(done);
        }
    }
    reporter.End();
    if (ok && !done) {
        Extractor.Abort();
        std::fprintf(stderr, "lzhx: interrupted (signal %d): the member being written is removed\n",
                     static_cast<int>(Interrupted));
        return 128 + Interrupted;
    }
    if (!ok) {
        const char* name = Extractor.GetMemberName()[0] ? Extractor.GetMemberName() : argv[arg];
        std::fprintf(stderr, "lzhx: %s: error %d: %s\n", Printable(name).c_str(),
                     Extractor.ErrorCode, ErrorText(Extractor.ErrorCode));
        return Extractor.ErrorCode;
    }
    return 0;
}
