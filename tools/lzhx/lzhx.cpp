// lzhx: the extraction engine on the command line.
//
//   lzhx [-q] FILE DEST [MEMBER]
//   lzhx -l FILE
//   lzhx -t [-q] FILE [MEMBER]
//   lzhx -h | --help | --version
//
// Extracting, it runs one job exactly as the setup's progress dialog does
// (Begin, then Step until done or failed), prints each member's name as it
// starts and a progress bar when standard error is a terminal. Listing, it
// reads the member headers alone (BeginList, NextHeader). Testing, it runs a
// job without a destination and goes on past a member that fails in its
// data (SkipMember). It exits with the engine's error code. An interrupt
// ends a job as the dialog's Cancel does.
#include "CommandLine.h"
#include "ExtractorLZH.h"
#include "Version.h"

#include <csignal>
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
#include "standin/CodePage932.h"

#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>
#endif

namespace {

CExtractorLZH Extractor;

// The signal that came, 0 while none has: set by the handler, read between
// two steps, where Abort may end the job.
volatile std::sig_atomic_t Interrupted = 0;

extern "C" void OnInterrupt(int signal) {
    Interrupted = signal;
}

// The job in progress ends as Cancel ends it: the member being written goes,
// the members before it stay.
int EndInterrupted() {
    Extractor.Abort();
    std::fprintf(stderr, "lzhx: interrupted (signal %d): the member being written is removed\n",
                 static_cast<int>(Interrupted));
    return 128 + Interrupted;
}

const char* ErrorText(int code) {
    switch (code) {
    case ErrOpenArchive:
        return "cannot open the archive file";
    case ErrCreateFolder:
        return "the destination is no folder, or it cannot be created";
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

// "-lh6-", "-lh6- and -lh7-", "-lh6-, -lh7- and -lhx-", with the noun that
// fits: the methods that GetUnreadMethods gives.
std::string MethodList(const char* methods) {
    std::vector<std::string> names;
    for (const char* p = methods; std::strlen(p) >= MethodLength; p += MethodLength)
        names.emplace_back(p, MethodLength);
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return list + (names.size() == 1 ? ", a method that is not supported"
                                     : ", methods that are not supported");
}

const char UsageText[] = "usage: lzhx [-q] FILE DEST [MEMBER]\n"
                         "       lzhx -l FILE\n"
                         "       lzhx -t [-q] FILE [MEMBER]\n"
                         "       lzhx -h | --help | --version\n"
                         "  Extracts the LZH archive found in FILE into the folder DEST:\n"
                         "  every member, or only MEMBER (case-insensitive).\n"
                         "  -l         list the members: method, packed size, size, ratio,\n"
                         "             local date and time, CRC-16, header level, name\n"
                         "  -t         test every member (or MEMBER): decode it and check its\n"
                         "             CRC-16, writing nothing\n"
                         "  -q         print nothing but errors\n"
                         "  -h, --help print this text\n"
                         "  --version  print the program's name and version\n"
                         "  Exit status: 0 on success, else the engine's error code;\n"
                         "  64 for a wrong command line; 128 + the signal when interrupted\n"
                         "  (130 for Ctrl-C): the member being written is removed, the\n"
                         "  members before it stay.\n";

// Text that reaches the terminal: a control byte in a member's name (or in
// a path given) would reach it as a command (a new title, a cleared screen,
// a moved cursor). Every byte below 0x20 and 0x7F is printed as \xNN
// instead, and in UTF-8 the C1 controls U+0080 to U+009F too (code page 932
// has U+0080 for its byte 0x80).
std::string Escaped(const std::string& text, bool utf8) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        const bool c1 = utf8 && c == 0xC2 && i + 1 < text.size() &&
                        (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
        if (c1)
            c = static_cast<unsigned char>(text[++i]);
        if (c < 0x20 || c == 0x7F || c1) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

#ifdef _WIN32
// Windows hands the program its arguments in the ANSI code page, the
// engine's, and the console shows the names in it.
bool FromTerminal(const char* text, std::string& out) {
    out = text;
    return true;
}

std::string Printable(const char* name) {
    return Escaped(name, false);
}

std::string Shown(const char* argument) {
    return Escaped(argument, false);
}
#else
// The terminal's encoding, the locale's; null for UTF-8, which the C locale
// is taken for too (its ASCII says nothing about the terminal).
const char* TerminalCodeset() {
    static const char* codeset = [] {
        std::setlocale(LC_CTYPE, "");
        const char* name = nl_langinfo(CODESET);
        return std::strcmp(name, "UTF-8") == 0 || std::strcmp(name, "ANSI_X3.4-1968") == 0 ? nullptr
                                                                                           : name;
    }();
    return codeset;
}

// iconv over the whole text; false on anything it cannot convert.
bool Recode(const char* to, const char* from, const std::string& text, std::string& out) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    char* in = const_cast<char*>(text.data());
    size_t left = text.size();
    bool ok = true;
    while (ok && left > 0) {
        char buffer[1024];
        char* put = buffer;
        size_t room = sizeof buffer;
        ok = iconv(converter, &in, &left, &put, &room) != static_cast<size_t>(-1) || errno == E2BIG;
        out.append(buffer, static_cast<size_t>(put - buffer));
    }
    iconv_close(converter);
    return ok;
}

// An argument as typed, in the terminal's encoding, in code page 932.
bool FromTerminal(const char* text, std::string& out) {
    std::string utf8 = text;
    return (TerminalCodeset() == nullptr || Recode("UTF-8", TerminalCodeset(), text, utf8)) &&
           CodePage932FromUtf8(utf8.c_str(), out);
}

// UTF-8 in the terminal's encoding, a character it lacks as "?".
std::string ToTerminal(const std::string& utf8) {
    std::string out;
    if (TerminalCodeset() == nullptr ||
        !Recode((std::string(TerminalCodeset()) + "//TRANSLIT").c_str(), "UTF-8", utf8, out))
        return utf8;
    return out;
}

// A member's name as the file it extracts to is named, in the terminal's
// encoding.
std::string Printable(const char* name) {
    return ToTerminal(Escaped(Utf8FromCodePage932(name), true));
}

std::string Shown(const char* argument) {
    return Escaped(argument, TerminalCodeset() == nullptr);
}
#endif

// An argument that names a file or folder, as a Windows path in the engine's
// code page; on other systems a slash is a separator too (no trail byte of
// code page 932 has its value).
bool EnginePath(const char* argument, std::string& path) {
    if (!FromTerminal(argument, path))
        return false;
#ifndef _WIN32
    for (char& c : path)
        if (c == '/')
            c = '\\';
#endif
    return true;
}

// An argument that the engine cannot be given: its code, as Windows would
// give it for a name it cannot convert either.
int NoEngineForm(const char* argument, int code) {
    std::fprintf(stderr,
                 "lzhx: %s: error %d: the name has no form in code page 932, in which the "
                 "engine names files\n",
                 Shown(argument).c_str(), code);
    return code;
}

// The progress of a job: each member's name as it starts (extracting), and
// a bar on standard error when that is a terminal.
class Reporter {
  public:
    Reporter(bool quiet, bool namesAtStart)
        : Quiet(quiet), NamesAtStart(namesAtStart), Bar(!quiet && isatty(fileno(stderr))) {}

    // Called after Begin and after every Step (or SkipMember) that left work
    // to do.
    void Show() {
        // A folder entry extracts to nothing, and its name is no file's.
        if (Quiet || Extractor.GetHeader().MethodIndex == MethodDirectory)
            return;
        const int number = Extractor.GetMemberNumber();
        const int percent = Extractor.GetPercent();
        const bool started = number != Number;
        if (started) {
            Number = number;
            Name = Extractor.GetMemberName();
            if (NamesAtStart) {
                ClearBar();
                std::printf("%s\n", Printable(Name.c_str()).c_str());
                std::fflush(stdout);
            }
        }
        if (Bar && (started || percent != Percent))
            DrawBar(percent);
        Percent = percent;
    }

    // Before any other line, and at the end.
    void ClearBar() {
        if (BarShown)
            std::fprintf(stderr, "\r\033[K");
        BarShown = false;
    }

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

    bool Quiet;
    bool NamesAtStart;
    bool Bar;
    bool BarShown = false;
    int Number = 0;
    std::string Name;
    int Percent = 0;
};

// The options before the operands; "--" ends them.
struct CommandLine {
    bool Quiet = false;
    bool List = false;
    bool Test = false;
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
        else if (option == "-t")
            c.Test = true;
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

// What a job or a listing was given, for its messages.
struct JobArguments {
    const char* File;
    const char* Destination; // null for a listing
    const char* Member;      // null for every member
};

// The message of a failed job or listing on standard error, "lzhx: SUBJECT:
// error N: TEXT", where the subject is what the failure concerns: the
// archive file, the destination or the member. The code is the exit status.
int Failed(const JobArguments& job) {
    const int code = Extractor.ErrorCode;
    std::string subject = Shown(job.File);
    std::string text = ErrorText(code);
    const char* unread = Extractor.GetUnreadMethods();
    switch (code) {
    case ErrCreateFolder:
        subject = Shown(job.Destination);
        break;
    case ErrNotFound:
        // The two causes, each in its own words, without a subject.
        if (Extractor.ArchiveFound()) {
            std::fprintf(stderr, "lzhx: error 5: no member named %s in %s\n",
                         Shown(job.Member).c_str(), subject.c_str());
        } else {
            std::fprintf(stderr, "lzhx: error 5: no LZH archive in %s%s\n", subject.c_str(),
                         unread[0] ? (": it holds members of " + MethodList(unread)).c_str() : "");
        }
        return code;
    case ErrOpenArchive:
        break;
    case ErrBadHeader:
        if (unread[0] != 0)
            text = "a later member is of " + MethodList(unread);
        break;
    default: // the member's own failure, or its file's
        if (Extractor.GetMemberName()[0] != 0)
            subject = Printable(Extractor.GetMemberName());
        break;
    }
    std::fprintf(stderr, "lzhx: %s: error %d: %s\n", subject.c_str(), code, text.c_str());
    return code;
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
    std::string archive;
    if (!EnginePath(file, archive))
        return NoEngineForm(file, ErrOpenArchive);
    const JobArguments job = {file, nullptr, nullptr};
    if (!Extractor.BeginList(archive.c_str()))
        return Failed(job);
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
            return Failed(job);
        }
    }
    const std::string count = std::to_string(members) + (members == 1 ? " member" : " members");
    std::printf("%-6s %10s %10s %6s  %s\n", "Total", std::to_string(packed).c_str(),
                std::to_string(size).c_str(), Ratio(packed, size).c_str(), count.c_str());
    return 0;
}

int Extract(bool quiet, const char* file, const char* destination, const char* member) {
    std::string archive, dest, only;
    if (!EnginePath(file, archive))
        return NoEngineForm(file, ErrOpenArchive);
    if (!EnginePath(destination, dest))
        return NoEngineForm(destination, ErrCreateFolder);
    if (member != nullptr && !FromTerminal(member, only))
        return NoEngineForm(member, ErrNotFound); // no member can have that name
    Reporter reporter(quiet, true);
    bool ok = Extractor.Begin(archive.c_str(), dest.c_str(), member ? only.c_str() : nullptr);
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
    reporter.ClearBar();
    if (ok && !done)
        return EndInterrupted();
    if (!ok)
        return Failed({file, destination, member});
    return 0;
}

// The member whose outcome a test has still to print.
struct TestedMember {
    int Number = 0; // 0: none
    std::string Name;
    bool Reported = true;
};

// Decodes every wanted member and checks it, writing nothing: "NAME: ok" on
// standard output for each member that passes, the engine's message for one
// that fails, and a member that fails in its data or by its method does not
// end the test. The exit status is the first failure's code.
int Test(bool quiet, const char* file, const char* member) {
    std::string archive, only;
    if (!EnginePath(file, archive))
        return NoEngineForm(file, ErrOpenArchive);
    if (member != nullptr && !FromTerminal(member, only))
        return NoEngineForm(member, ErrNotFound);
    const JobArguments job = {file, nullptr, member};
    Reporter reporter(quiet, false);
    int firstError = ErrNone, tested = 0, failed = 0;
    TestedMember current;
    // A member that ended without a failure passed.
    auto passed = [&]() {
        if (current.Reported)
            return;
        current.Reported = true;
        ++tested;
        if (!quiet) {
            reporter.ClearBar();
            std::printf("%s: ok\n", Printable(current.Name.c_str()).c_str());
        }
    };
    // After every call: the member that the engine has taken up now.
    auto follow = [&]() {
        if (Extractor.GetMemberNumber() == current.Number)
            return;
        passed();
        current.Number = Extractor.GetMemberNumber();
        current.Name = Extractor.GetMemberName();
        current.Reported = Extractor.GetHeader().MethodIndex == MethodDirectory;
    };

    bool ok = Extractor.Begin(archive.c_str(), nullptr, member ? only.c_str() : nullptr);
    bool done = false;
    for (;;) {
        follow();
        if (Interrupted) {
            reporter.ClearBar();
            return EndInterrupted();
        }
        if (ok && !done) {
            reporter.Show();
            ok = Extractor.Step(done);
            continue;
        }
        if (ok) { // done: the last wanted member passed
            passed();
            break;
        }
        // A damaged header comes after the member that the step completed.
        if (Extractor.ErrorCode == ErrBadHeader) {
            passed();
        } else if (Extractor.GetMemberNumber() > 0 && !current.Reported) {
            current.Reported = true;
            ++tested;
            ++failed;
        }
        if (firstError == ErrNone)
            firstError = Extractor.ErrorCode;
        reporter.ClearBar();
        std::fflush(stdout);
        Failed(job);
        if (!Extractor.CanSkipMember())
            break;
        ok = Extractor.SkipMember(done);
    }
    reporter.ClearBar();
    // The total, once there was an archive to test.
    if (!quiet && firstError != ErrOpenArchive && firstError != ErrNotFound) {
        const char* noun = tested == 1 ? "member" : "members";
        if (tested == 0)
            std::printf("0 members tested\n");
        else if (failed == 0)
            std::printf("%d %s tested, all ok\n", tested, noun);
        else
            std::printf("%d %s tested, %d failed\n", tested, noun, failed);
    }
    return firstError;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine c = ParseCommandLine(argc, argv);
    CatchInterrupts(OnInterrupt);
    if (c.Wrong)
        return Usage(UsageText, false);
    if (c.Help)
        return Usage(UsageText, true);
    if (c.Version) {
        std::printf("lzhx %s\n", ToolsVersion);
        return 0;
    }
    const size_t n = c.Operands.size();
    if (c.List) {
        if (c.Quiet || c.Test || n != 1)
            return Usage(UsageText, false);
        return List(c.Operands[0]);
    }
    if (c.Test) {
        if (n < 1 || n > 2)
            return Usage(UsageText, false);
        return Test(c.Quiet, c.Operands[0], n == 2 ? c.Operands[1] : nullptr);
    }
    if (n < 2 || n > 3)
        return Usage(UsageText, false);
    return Extract(c.Quiet, c.Operands[0], c.Operands[1], n == 3 ? c.Operands[2] : nullptr);
}
