// step_profile: how long the engine's steps take, and how much memory a job
// needs, for one archive.
//
//   step_profile [-r RUNS] ARCHIVE DEST
//
// Runs the job as the setup's progress dialog does (Begin, then Step until
// done) and reports:
//   - plain runs (best of RUNS, default 3): total time, throughput, steps;
//   - the peak resident memory (getrusage ru_maxrss) after the plain runs,
//     before the profiler has allocated anything that depends on the
//     archive, and before the first Begin for comparison;
//   - two timed runs, each Step timed on its own: percentiles, the worst
//     step, and a classification of the slow steps.
// A step is classified from outside the engine: it opened the next member
// (the member name changed or the job ended), it wrote to the output file (a
// write call: a full ring reached the file), it read the archive (a read
// call: the input buffer was refilled), or none of these. A slow step of the
// last kind is a block header, which builds three tables, or the first ring
// of a member, which is checksummed and buffered without a write.
// Steps slower than the threshold in the first timed run are timed again in
// the second, and the lower time counts, so that a timer interrupt or a
// page fault that hit one run does not pass for the cost of the step.
#include "ExtractorLZH.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// The engine's stand-in reaches the files through read and write. These
// definitions take their place in this program and count the calls, which
// tells the profiler which steps moved data between the engine and its files.
namespace {
volatile unsigned long ReadCalls = 0;
volatile unsigned long WriteCalls = 0;
} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    ReadCalls = ReadCalls + 1;
    return syscall(SYS_read, fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
    WriteCalls = WriteCalls + 1;
    return syscall(SYS_write, fd, buffer, count);
}

namespace {

using Clock = std::chrono::steady_clock;

CExtractorLZH Extractor;

long long Nanoseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
}

long MaxRssKilobytes() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string EnginePath(const char* path) {
    std::string out(path);
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

// Step durations in nanoseconds: one bin per nanosecond below 8192 ns, then
// sixteen bins per octave up to about 70 s.
class Histogram {
  public:
    enum { Linear = 8192, PerOctave = 16, Octaves = 24, Bins = Linear + PerOctave * Octaves };

    void Add(long long ns) {
        ++Counts[BinOf(ns)];
        ++Total;
    }
    // The smallest duration d such that at least the fraction q of the steps
    // took d or less (the lower edge of the bin, for the binned range).
    long long Quantile(double q) const {
        const unsigned long long wanted = static_cast<unsigned long long>(q * Total + 0.5);
        unsigned long long seen = 0;
        for (int b = 0; b < Bins; ++b) {
            seen += Counts[b];
            if (seen >= wanted && seen > 0)
                return LowerEdge(b);
        }
        return LowerEdge(Bins - 1);
    }
    unsigned long long CountAbove(long long ns) const {
        unsigned long long n = 0;
        for (int b = BinOf(ns) + 1; b < Bins; ++b)
            n += Counts[b];
        return n;
    }

  private:
    static int BinOf(long long ns) {
        if (ns < 0)
            ns = 0;
        if (ns < Linear)
            return static_cast<int>(ns);
        int octave = 0;
        while ((static_cast<long long>(Linear) << (octave + 1)) <= ns && octave < Octaves - 1)
            ++octave;
        const long long base = static_cast<long long>(Linear) << octave;
        long long sub = (ns - base) * PerOctave / base;
        if (sub >= PerOctave)
            sub = PerOctave - 1;
        return Linear + octave * PerOctave + static_cast<int>(sub);
    }
    static long long LowerEdge(int bin) {
        if (bin < Linear)
            return bin;
        const int octave = (bin - Linear) / PerOctave;
        const int sub = (bin - Linear) % PerOctave;
        const long long base = static_cast<long long>(Linear) << octave;
        return base + base * sub / PerOctave;
    }

    unsigned long long Counts[Bins] = {};
    unsigned long long Total = 0;
};

enum StepKind { KindMember, KindWrite, KindRead, KindOther, KindCount };
const char* const KindNames[KindCount] = {
    "opened the next member (closed one file, created another)", "wrote a ring to the output file",
    "refilled the input buffer",
    "no file access (block header with three table builds, or a member's first ring)"};

struct SlowStep {
    unsigned long long Index;
    long long Ns;
    int Kind;
    int Member;
    int Percent;
};

// Steps slower than the threshold in the first timed run, in step order. The
// capacity is fixed so that the profiler's own memory does not depend on the
// archive; steps beyond it are counted but not timed again.
const int CandidateCapacity = 1 << 16;
SlowStep Candidates[CandidateCapacity];
int CandidateCount = 0;
unsigned long long CandidatesDropped = 0;

struct Job {
    unsigned long long Steps = 0;
    long long Ns = 0;
    int Members = 0;
    long long UnpackedBytes = 0;
    bool Ok = false;
};

// Every job extracts into a fresh folder, as a first install does: replacing
// existing files would add the cost of truncating them.
void RemoveFolder(const char* hostPath) {
    std::error_code ignored;
    std::filesystem::remove_all(hostPath, ignored);
}

// One untimed job: nothing but Begin and Step.
Job RunPlain(const std::string& archive, const std::string& dest) {
    Job job;
    const Clock::time_point start = Clock::now();
    bool ok = Extractor.Begin(archive.c_str(), dest.c_str(), nullptr);
    bool done = false;
    while (ok && !done) {
        ok = Extractor.Step(done);
        ++job.Steps;
    }
    job.Ns = Nanoseconds(start, Clock::now());
    job.Ok = ok;
    return job;
}

struct TimedResult {
    Job Totals;
    Histogram Times;
    SlowStep Worst = {0, -1, KindOther, 0, 0};
    unsigned long long KindSteps[KindCount] = {};
};

// One job with each Step timed. In the first run (retime false) steps slower
// than thresholdNs become candidates; in the second (retime true) each
// candidate keeps the lower of its two times.
void RunTimed(const std::string& archive, const std::string& dest, long long thresholdNs,
              bool retime, TimedResult& result) {
    Job& job = result.Totals;
    const Clock::time_point start = Clock::now();
    bool ok = Extractor.Begin(archive.c_str(), dest.c_str(), nullptr);
    bool done = false;
    char name[PathSize];
    std::strcpy(name, Extractor.GetMemberName());
    job.Members = ok ? 1 : 0;
    job.UnpackedBytes = ok ? Extractor.GetHeader().UnpackedSize : 0;
    int next = 0; // next candidate, when retiming
    while (ok && !done) {
        const unsigned long reads = ReadCalls;
        const unsigned long writes = WriteCalls;
        const int percent = Extractor.GetPercent();
        const Clock::time_point t0 = Clock::now();
        ok = Extractor.Step(done);
        const Clock::time_point t1 = Clock::now();
        const long long ns = Nanoseconds(t0, t1);
        const unsigned long long index = job.Steps++;

        int kind = KindOther;
        if (done || std::strcmp(name, Extractor.GetMemberName()) != 0) {
            kind = KindMember;
            if (!done) {
                std::strcpy(name, Extractor.GetMemberName());
                ++job.Members;
                job.UnpackedBytes += Extractor.GetHeader().UnpackedSize;
            }
        } else if (WriteCalls != writes) {
            kind = KindWrite;
        } else if (ReadCalls != reads) {
            kind = KindRead;
        }
        ++result.KindSteps[kind];
        result.Times.Add(ns);
        if (ns > result.Worst.Ns)
            result.Worst = {index, ns, kind, job.Members, percent};

        if (!retime) {
            if (ns > thresholdNs) {
                if (CandidateCount < CandidateCapacity)
                    Candidates[CandidateCount++] = {index, ns, kind, job.Members, percent};
                else
                    ++CandidatesDropped;
            }
        } else if (next < CandidateCount && Candidates[next].Index == index) {
            if (ns < Candidates[next].Ns)
                Candidates[next].Ns = ns;
            ++next;
        }
    }
    job.Ns = Nanoseconds(start, Clock::now());
    job.Ok = ok;
}

// The cost of reading the clock twice around nothing.
long long ClockOverheadNs() {
    long long best = -1;
    for (int i = 0; i < 100000; ++i) {
        const Clock::time_point t0 = Clock::now();
        const Clock::time_point t1 = Clock::now();
        const long long ns = Nanoseconds(t0, t1);
        if (best < 0 || ns < best)
            best = ns;
    }
    return best;
}

double Micro(long long ns) {
    return static_cast<double>(ns) / 1000.0;
}

int Fail(const char* what) {
    std::fprintf(stderr, "step_profile: %s failed with error %d\n", what, Extractor.ErrorCode);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    int arg = 1;
    int runs = 3;
    if (arg + 1 < argc && std::strcmp(argv[arg], "-r") == 0) {
        runs = std::atoi(argv[arg + 1]);
        arg += 2;
    }
    if (argc - arg != 2 || runs < 1) {
        std::fprintf(stderr, "usage: step_profile [-r RUNS] ARCHIVE DEST\n");
        return 64;
    }
    const std::string archive = EnginePath(argv[arg]);
    const std::string dest = EnginePath(argv[arg + 1]);
    const long long thresholdNs = 1000;

    const long rssBefore = MaxRssKilobytes();
    Job best;
    for (int r = 0; r < runs; ++r) {
        RemoveFolder(argv[arg + 1]);
        const Job job = RunPlain(archive, dest);
        if (!job.Ok)
            return Fail("the plain run");
        if (r == 0 || job.Ns < best.Ns)
            best = job;
    }
    const long rssAfter = MaxRssKilobytes();

    static TimedResult first, second;
    RemoveFolder(argv[arg + 1]);
    RunTimed(archive, dest, thresholdNs, false, first);
    if (!first.Totals.Ok)
        return Fail("the first timed run");
    RemoveFolder(argv[arg + 1]);
    RunTimed(archive, dest, thresholdNs, true, second);
    if (!second.Totals.Ok)
        return Fail("the second timed run");

    const double seconds = static_cast<double>(best.Ns) / 1e9;
    const long long bytes = first.Totals.UnpackedBytes;
    std::printf("archive: %s\n", argv[arg]);
    std::printf("members: %d, unpacked bytes: %lld\n", first.Totals.Members, bytes);
    std::printf("plain run (best of %d): %.3f s, %.1f MB/s, %llu steps, %.1f ns per step\n", runs,
                seconds, static_cast<double>(bytes) / 1e6 / seconds, best.Steps,
                static_cast<double>(best.Ns) / static_cast<double>(best.Steps));
    std::printf("peak memory (ru_maxrss): %ld KB before the first Begin, %ld KB after the plain "
                "runs\n",
                rssBefore, rssAfter);

    const TimedResult& t = first;
    std::printf("timed runs: %.3f s and %.3f s with the clock read around every step "
                "(clock overhead about %lld ns per step, included below)\n",
                static_cast<double>(first.Totals.Ns) / 1e9,
                static_cast<double>(second.Totals.Ns) / 1e9, ClockOverheadNs());
    std::printf("step time (first timed run): median %lld ns, 99th %lld ns, 99.9th %lld ns, "
                "99.99th %lld ns, max %.1f us\n",
                t.Times.Quantile(0.5), t.Times.Quantile(0.99), t.Times.Quantile(0.999),
                t.Times.Quantile(0.9999), Micro(t.Worst.Ns));
    std::printf("step time (second timed run): median %lld ns, 99.9th %lld ns, max %.1f us\n",
                second.Times.Quantile(0.5), second.Times.Quantile(0.999), Micro(second.Worst.Ns));
    std::printf("steps by kind:");
    for (int k = 0; k < KindCount; ++k)
        std::printf(" %s %llu%s",
                    k == KindMember  ? "member"
                    : k == KindWrite ? "write"
                    : k == KindRead  ? "read"
                                     : "other",
                    t.KindSteps[k], k + 1 < KindCount ? "," : "\n");

    // The slow steps, by kind, with the lower of their two times.
    unsigned long long slow[KindCount] = {};
    long long slowMax[KindCount] = {};
    long long slowSum[KindCount] = {};
    SlowStep worst = {0, -1, KindOther, 0, 0};
    for (int i = 0; i < CandidateCount; ++i) {
        const SlowStep& s = Candidates[i];
        if (s.Ns > worst.Ns)
            worst = s;
        if (s.Ns <= thresholdNs)
            continue;
        ++slow[s.Kind];
        slowSum[s.Kind] += s.Ns;
        if (s.Ns > slowMax[s.Kind])
            slowMax[s.Kind] = s.Ns;
    }
    std::printf("steps above %.0f us in both timed runs (%d candidates%s):\n", Micro(thresholdNs),
                CandidateCount, CandidatesDropped ? ", some dropped" : "");
    for (int k = 0; k < KindCount; ++k) {
        if (slow[k] == 0)
            continue;
        std::printf("  %6llu steps, mean %6.1f us, max %6.1f us: %s\n", slow[k],
                    Micro(slowSum[k] / static_cast<long long>(slow[k])), Micro(slowMax[k]),
                    KindNames[k]);
    }
    std::printf("worst step (lower of two runs): %.1f us, step %llu, member %d at %d%%, %s\n",
                Micro(worst.Ns), worst.Index, worst.Member, worst.Percent, KindNames[worst.Kind]);
    return 0;
}
