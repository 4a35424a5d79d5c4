#include "EncoderLH5.h"

#include "FormatLZH.h"
#include "PartEncoderLH5.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// The parts' bit strings joined into one byte stream: each part's first bit
// follows the last bit of the part before it.
class CBitJoiner {
  public:
    // Appends the first 'bits' bits of bytes; the whole bytes go to out.
    void Append(const std::vector<uint8_t>& bytes, uint64_t bits, std::vector<uint8_t>& out) {
        size_t whole = static_cast<size_t>(bits / 8);
        if (PendingBits == 0) {
            out.insert(out.end(), bytes.begin(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(whole));
        } else {
            for (size_t i = 0; i < whole; ++i) {
                out.push_back(static_cast<uint8_t>(Pending | bytes[i] >> PendingBits));
                Pending = static_cast<uint8_t>(bytes[i] << (8 - PendingBits));
            }
        }
        int rest = static_cast<int>(bits % 8);
        if (rest == 0)
            return;
        uint8_t last = static_cast<uint8_t>(bytes[whole] & (0xFF00 >> rest)); // its top bits
        Pending = static_cast<uint8_t>(Pending | last >> PendingBits);
        if (PendingBits + rest >= 8) {
            out.push_back(Pending);
            Pending = static_cast<uint8_t>(last << (8 - PendingBits));
            PendingBits += rest - 8;
        } else {
            PendingBits += rest;
        }
    }

    // The last byte, padded with zero bits, if one is begun.
    void Finish(std::vector<uint8_t>& out) {
        if (PendingBits > 0)
            out.push_back(Pending);
        PendingBits = 0;
        Pending = 0;
    }

  private:
    uint8_t Pending = 0; // PendingBits bits from the top, 0 to 7 of them
    int PendingBits = 0;
};

struct Part {
    std::vector<uint8_t> Input; // the bytes before the part in reach, then the part's
    uint32_t History = 0;       // bytes of Input that come before the part
    CBitWriter Coded;
    uint64_t Bits = 0;
    bool Done = false;
};

// The parts in flight, in input order. A worker takes the next part of the
// input (the reading is in order, under the lock), codes it without the
// lock, and then hands on every finished part at the head of the queue, so
// the output is in order and never depends on which thread coded what. One
// part more than there are threads is held at once (a thread that is done
// before the part ahead of it may go on), and each part's memory and each
// thread's encoder serve again for the next part: the memory is the same for
// any input of a few parts or more.
class CPartQueue {
  public:
    CPartQueue(const LH5Stream& stream, const EncoderOptions& options)
        : Stream(stream), Options(options),
          PartBytes(std::max<uint32_t>(options.PartBytes, 1u << 16)),
          Threads(options.InputBytes > 0 && options.InputBytes <= PartBytes
                      ? 1
                      : static_cast<size_t>(std::max(1, options.Threads))) {}

    LH5StreamResult Run();

  private:
    void Work();
    void AddSpare();
    bool ReadPart(Part& part);
    void HandOn();
    void Write(const std::vector<uint8_t>& bytes);

    const LH5Stream& Stream;
    const EncoderOptions& Options;
    const uint32_t PartBytes;
    const size_t Threads;

    std::mutex Lock; // guards everything below
    std::condition_variable Changed;
    std::deque<std::unique_ptr<Part>> InFlight;
    std::vector<std::unique_ptr<Part>> Spare; // parts handed on, kept for their memory
    std::vector<uint8_t> History;             // the last bytes read, as many as a match reaches
    bool InputEnded = false;
    LH5StreamResult Result;
    CBitJoiner Joiner;
    std::vector<uint8_t> Ready; // bytes of one hand-on
};

// A part with room for the most it may hold, touched, so that the memory in
// use does not depend on what the parts hold.
void CPartQueue::AddSpare() {
    std::unique_ptr<Part> part(new Part);
    part->Input.assign(MaxDistance + PartBytes, 0);
    part->Coded.Data().assign(PartBytes + PartBytes / 8, 0); // more than noise needs
    part->Coded.Clear();
    Spare.push_back(std::move(part));
}

LH5StreamResult CPartQueue::Run() {
    // An input known to fill the queue gets its parts at once, so that its
    // memory does not depend on how the threads happen to run.
    uint64_t parts = (Options.InputBytes + PartBytes - 1) / PartBytes;
    while (Spare.size() < std::min<uint64_t>(parts, Threads + 1))
        AddSpare();
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < Threads; ++t)
        helpers.emplace_back([this] { Work(); });
    Work();
    for (std::thread& t : helpers)
        t.join();
    if (!Result.Stopped) {
        Ready.clear();
        Joiner.Finish(Ready);
        Write(Ready);
    }
    return Result;
}

void CPartQueue::Work() {
    CPartEncoderLH5 encoder(Options);
    std::unique_lock<std::mutex> hold(Lock);
    for (;;) {
        if (Result.Stopped || InputEnded)
            return;
        if (InFlight.size() > Threads) {
            Changed.wait(hold);
            continue;
        }
        std::unique_ptr<Part> part;
        if (Spare.empty())
            AddSpare();
        part = std::move(Spare.back());
        Spare.pop_back();
        if (!ReadPart(*part)) {
            Changed.notify_all();
            return;
        }
        Part* mine = part.get();
        InFlight.push_back(std::move(part));
        hold.unlock();
        encoder.Encode(mine->Input.data(), mine->History, static_cast<uint32_t>(mine->Input.size()),
                       mine->Coded);
        mine->Bits = mine->Coded.BitCount();
        mine->Coded.Flush();
        hold.lock();
        mine->Done = true;
        HandOn();
        Changed.notify_all();
    }
}

// Reads the next part behind the bytes of the last one that a match can
// reach; false when the input has ended. With the lock held.
bool CPartQueue::ReadPart(Part& part) {
    part.History = static_cast<uint32_t>(History.size());
    part.Input.resize(History.size() + PartBytes);
    std::memcpy(part.Input.data(), History.data(), History.size());
    size_t got = 0;
    while (got < PartBytes) {
        size_t n = Stream.Read(part.Input.data() + part.History + got, PartBytes - got);
        if (n == 0)
            break;
        got += n;
    }
    if (got < PartBytes)
        InputEnded = true;
    if (got == 0)
        return false;
    part.Input.resize(part.History + got);
    Result.InputBytes += got;
    size_t keep = std::min<size_t>(part.Input.size(), MaxDistance);
    History.assign(part.Input.end() - static_cast<std::ptrdiff_t>(keep), part.Input.end());
    return true;
}

// Writes the finished parts at the head of the queue. With the lock held.
void CPartQueue::HandOn() {
    while (!InFlight.empty() && InFlight.front()->Done) {
        Part& part = *InFlight.front();
        if (!Result.Stopped) {
            Ready.clear();
            Joiner.Append(part.Coded.Data(), part.Bits, Ready);
            Write(Ready);
        }
        part.Done = false;
        Spare.push_back(std::move(InFlight.front()));
        InFlight.pop_front();
    }
}

void CPartQueue::Write(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || Result.Stopped)
        return;
    if (!Stream.Write(bytes.data(), bytes.size())) {
        Result.Stopped = true;
        return;
    }
    Result.OutputBytes += bytes.size();
}

} // namespace

// Blocks carry no state from one to the next except the dictionary, so the
// parts of the input are coded on their own, each with the bytes before it
// in its dictionary, and their bit streams are joined. The parts depend on
// the input alone, so the threads never change the output.
LH5StreamResult EncodeLH5(const LH5Stream& stream, const EncoderOptions& options) {
    CPartQueue queue(stream, options);
    return queue.Run();
}

std::vector<uint8_t> EncodeLH5(const uint8_t* data, size_t size, const EncoderOptions& options) {
    std::vector<uint8_t> out;
    size_t at = 0;
    LH5Stream stream;
    stream.Read = [&](uint8_t* buffer, size_t n) {
        n = std::min(n, size - at);
        if (n > 0)
            std::memcpy(buffer, data + at, n);
        at += n;
        return n;
    };
    stream.Write = [&](const uint8_t* bytes, size_t n) {
        out.insert(out.end(), bytes, bytes + n);
        return true;
    };
    EncodeLH5(stream, options);
    return out;
}
