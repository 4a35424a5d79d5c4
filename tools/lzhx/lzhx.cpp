// lzhx: the extraction engine on the command line.
//
//   lzhx [-q] FILE DEST [MEMBER]
//   lzhx -l FILE
//   lzhx -h | --help | --version
//
// Extracting, it runs one job exactly as the setup's progress dialog does
// (Begin, then Step until done or failed), prints each member's name as it
// starts and a progress bar when standard error is a terminal. Listing, it
// reads the member headers alone (BeginList, NextHeader). It exits with the
// engine's error code.
#include "ExtractorLZH.h"
#include "Version.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

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

const char UsageText[] = "usage: lzhx [-q] FILE DEST [MEMBER]\n"
                         "       lzhx -l FILE\n"
                         "       lzhx -h | --help | --version\n"
                         "  Extracts the LZH archive found in FILE into the folder DEST:\n"
                         "  every member, or only MEMBER (case-insensitive).\n"
                         "  -l         list the members: method, packed size, size, ratio,\n"
                         "             local date and time, CRC-16, header level, name\n"
                         "  -q         print nothing but errors\n"
                         "  -h, --help print this text\n"
                         "  --version  print the program's name and version\n"
                         "  Exit status: 0 on success, else the engine's error code;\n"
                         "  64 for a wrong command line.\n";

// Asked for, the usage goes to standard output; after a wrong command line,
// to standard error.
int Usage(bool asked) {
    std::fputs(UsageText, asked ? stdout : stderr);
    return asked ? 0 : UsageExit;
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

// The options before the operands; "--" ends them.
struct CommandLine {
    bool Quiet = false;
    bool List = false;
    bool Help = false;
    bool Version = false;
    bool Wrong = false;
    std::vector<const char*> Operands;
};

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine c;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-' && argv[arg][1] != 0; ++arg) {
        const std::string option = argv[arg];
        if (option == "--") {
            ++arg;
            break;
        }
        if (option == "-q")
            c.Quiet = true;
        else if (option == "-l")
            c.List = true;
        else if (option == "-h" || option == "--help")
            c.Help = true;
        else if (option == "--version")
            c.Version = true;
        else
            c.Wrong = true;
    }
    c.Operands.assign(argv + arg, argv + argc);
    return c;
}

// "lzhx: SUBJECT: error N: TEXT" on standard error; the code is the exit status.
int Failed(const char* subject) {
    std::fprintf(stderr, "lzhx: %s: error %d: %s\n", Printable(subject).c_str(),
                 Extractor.ErrorCode, ErrorText(Extractor.ErrorCode));
    return Extractor.ErrorCode;
}

// Packed size as a share of the size, or "-" for an empty member.
std::string Ratio(long long packed, long long size) {
    if (size <= 0)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", static_cast<double>(packed) * 100.0 / size);
    return text;
}

// The date and the time in the local zone; "-" for both when unknown.
void LocalTime(int timeStamp, char (&date)[16], char (&time)[16]) {
    const std::time_t value = timeStamp;
    const std::tm* local = timeStamp < 0 ? nullptr : std::localtime(&value);
    if (local == nullptr || std::strftime(date, sizeof date, "%Y-%m-%d", local) == 0 ||
        std::strftime(time, sizeof time, "%H:%M:%S", local) == 0) {
        std::strcpy(date, "-");
        std::strcpy(time, "-");
    }
}

const char ListFormat[] = "%-6s %10s %10s %6s  %-10s %-8s  %-5s %5s  %s\n";

void ListMember(const MemberHeaderLZH& h) {
    char crc[8] = "-";
    if (h.HasFileCrc)
        std::snprintf(crc, sizeof crc, "%04x", h.FileCrc);
    char date[16], time[16];
    LocalTime(h.TimeStamp, date, time);
    std::printf(ListFormat, CExtractorLZH::MethodName(h.MethodIndex),
                std::to_string(h.PackedSize).c_str(), std::to_string(h.UnpackedSize).c_str(),
                Ratio(h.PackedSize, h.UnpackedSize).c_str(), date, time, crc,
                std::to_string(h.Level).c_str(), Printable(h.Name).c_str());
}

// One line per member, then the totals; where a header is damaged, the
// members before it and the engine's code.
int List(const char* file) {
    const std::string archive = EnginePath(file);
    if (!Extractor.BeginList(archive.c_str()))
        return Failed(file);
    std::printf(ListFormat, "Method", "Packed", "Size", "Ratio", "Date", "Time", "CRC", "Level",
                "Name");
    long long packed = 0, size = 0;
    int members = 0;
    for (bool done = false; !done;) {
        const MemberHeaderLZH& h = Extractor.GetHeader();
        ListMember(h);
        packed += h.PackedSize;
        size += h.UnpackedSize;
        ++members;
        if (!Extractor.NextHeader(done)) {
            std::fflush(stdout);
            return Failed(file);
        }
    }
    const std::string count = std::to_string(members) + (members == 1 ? " member" : " members");
    std::printf("%-6s %10s %10s %6s  %s\n", "Total", std::to_string(packed).c_str(),
                std::to_string(size).c_str(), Ratio(packed, size).c_str(), count.c_str());
    return 0;
}

int Extract(bool quiet, const char* file, const char* destination, const char* member) {
    const std::string archive = EnginePath(file);
    const std::string dest = EnginePath(destination);
    Reporter reporter(quiet);
    bool ok = Extractor.Begin(archive.c_str(), dest.c_str(), member);
    bool done = false;
    if (quiet) {
        while (ok && !done)
            ok = Extractor.Step(done);
    } else {
        while (ok && !done) {
            reporter.Show();
            ok = Extractor.Step(done);
        }
    }
    reporter.End();
    if (!ok)
        return Failed(Extractor.GetMemberName()[0] ? Extractor.GetMemberName() : file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine c = ParseCommandLine(argc, argv);
    if (c.Wrong)
        return Usage(false);
    if (c.Help)
        return Usage(true);
    if (c.Version) {
        std::printf("lzhx %s\n", ToolsVersion);
        return 0;
    }
    const size_t n = c.Operands.size();
    if (c.List) {
        if (c.Quiet || n != 1)
            return Usage(false);
        return List(c.Operands[0]);
    }
    if (n < 2 || n > 3)
        return Usage(false);
    return Extract(c.Quiet, c.Operands[0], c.Operands[1], n == 3 ? c.Operands[2] : nullptr);
}
