#include "log/report_scan.h"

#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "log/crc_blocks.h"
#include "log/xor_lanes.h"

namespace gsmlog {

namespace {

// Room before a segment for the tail of the previous ones: the record not read yet (less than a
// whole record) from the start of its checksum block. Segments are whole blocks, so the tail is too.
constexpr std::size_t kCarryRoom = (kCrcBlock - 1 + kMaxLogRecord - 1) / kCrcBlock * kCrcBlock;
// Bytes after a segment's plain bytes that word-wide reads may touch.
constexpr std::size_t kPad = 16;
constexpr std::size_t kMaxDestinations = 64;

inline std::uint32_t LoadCode(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Whether any of the n >= 1 bytes at t is below 0x20. Reads up to 7 bytes past them.
inline bool HasControlByte(const std::uint8_t* t, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    for (;;) {
      std::uint64_t w;
      std::memcpy(&w, t, sizeof w);
      // Flags every byte below 0x20, and may flag bytes above a flagged one (the borrow): the
      // lowest flag is always a true one, so a flag among the first n bytes is exact.
      const std::uint64_t hit = (w - 0x20 * kOnes) & ~w & kHigh;
      if (n <= 8) return (hit & (~std::uint64_t{0} >> (64 - 8 * n))) != 0;
      if (hit != 0) return true;
      t += 8;
      n -= 8;
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      if (t[i] < 0x20) return true;
    }
    return false;
  }
}

// 32 lanes fill the widest vectors. Lanes a multiple of 64 bytes apart would share cache sets
// and evict each other's lines, so the stride is kept off that grid (12336 for the default segment).
std::size_t AutomaticLaneBytes(std::size_t segmentBytes) {
  std::size_t lane = segmentBytes / 32 / 16 * 16;
  if (lane >= 64 && lane % 64 == 0) lane -= 16;
  return lane >= 16 ? lane : segmentBytes;
}

struct Segment {
  std::size_t offset = 0;  // file offset of the first byte
  std::size_t size = 0;    // bytes held
  bool failed = false;     // a read error
  const std::uint8_t* raw = nullptr;
  std::unique_ptr<std::uint8_t[]> rawBuffer;  // files: kCarryRoom of room, then the bytes
  std::unique_ptr<std::uint8_t[]> plainBuffer;
  std::uint8_t* plain = nullptr;  // kCarryRoom into plainBuffer
  std::vector<std::uint32_t> dots;
  std::vector<std::uint8_t> laneKeys;
};

class Scanner {
 public:
  Scanner(ScanSink& sink, const ScanOptions& options, std::size_t sizeHint)
      : sink_(sink), destinations_(sink.Destinations()), options_(options) {
    segmentBytes_ = (options.segmentBytes + kCrcBlock - 1) / kCrcBlock * kCrcBlock;
    if (segmentBytes_ == 0) segmentBytes_ = kCrcBlock;
    // Small inputs get small buffers.
    if (sizeHint > 0 && sizeHint < segmentBytes_) segmentBytes_ = (sizeHint + kCrcBlock - 1) / kCrcBlock * kCrcBlock;
    laneBytes_ = options.laneBytes > 0 ? options.laneBytes : AutomaticLaneBytes(segmentBytes_);
    readChunk_ = options.readChunk > 0 ? options.readChunk : 1;
    threads_ = options.threads;
    if (threads_ == 0) threads_ = sizeHint >= 4 * segmentBytes_ && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    sums_.resize(kCarryRoom / kCrcBlock + segmentBytes_ / kCrcBlock + 1);
  }

  ScanResult ScanMemory(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    dataSize_ = size;
    return Run();
  }

  ScanResult ScanFile(int fd, bool regular) {
    fd_ = fd;
    positional_ = regular;
    if (!regular) threads_ = 1;
    return Run();
  }

 private:
  ScanResult Run() {
    std::vector<Segment> segments(threads_);
    for (auto& segment : segments) Allocate(segment);
    if (threads_ == 1) {
      Work(segments[0], 0);
    } else {
      std::vector<std::thread> helpers;
      for (unsigned t = 1; t < threads_; ++t) helpers.emplace_back([this, &segments, t] { Work(segments[t], t); });
      Work(segments[0], 0);
      for (auto& helper : helpers) helper.join();
    }
    if (failure_) std::rethrow_exception(failure_);
    return result_;
  }

  void Allocate(Segment& segment) const {
    if (data_ == nullptr) segment.rawBuffer.reset(new std::uint8_t[kCarryRoom + segmentBytes_]);
    segment.plainBuffer.reset(new std::uint8_t[kCarryRoom + segmentBytes_ + kPad]);
    segment.plain = segment.plainBuffer.get() + kCarryRoom;
    std::memset(segment.plain + segmentBytes_, 0, kPad);
    segment.dots.resize(segmentBytes_ / kCrcBlock);
    segment.laneKeys.resize((segmentBytes_ + laneBytes_ - 1) / laneBytes_);
  }

  // Segments first, first + threads_, ... of the input: the lanes and the block sums on this
  // thread, then the file-order part when the previous segment's is done.
  void Work(Segment& segment, unsigned first) {
    try {
      for (std::size_t s = first; !ended_.load(std::memory_order_acquire); s += threads_) {
        Fill(segment, s);
        Decode(segment);
        {
          std::unique_lock lock(mutex_);
          turnChanged_.wait(lock, [&] { return turn_ == s || ended_.load(std::memory_order_relaxed); });
          if (ended_.load(std::memory_order_relaxed)) return;
        }
        const bool more = InOrder(segment);
        {
          const std::lock_guard lock(mutex_);
          turn_ = s + 1;
          if (!more) ended_.store(true, std::memory_order_release);
        }
        turnChanged_.notify_all();
      }
    } catch (...) {
      const std::lock_guard lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      ended_.store(true, std::memory_order_release);
      turnChanged_.notify_all();
    }
  }

  void Fill(Segment& segment, std::size_t index) {
    segment.offset = index * segmentBytes_;
    segment.size = 0;
    segment.failed = false;
    if (data_ != nullptr) {
      segment.raw = data_ + (segment.offset < dataSize_ ? segment.offset : dataSize_);
      if (segment.offset < dataSize_) segment.size = std::min(segmentBytes_, dataSize_ - segment.offset);
      return;
    }
    std::uint8_t* into = segment.rawBuffer.get() + kCarryRoom;
    segment.raw = into;
    while (segment.size < segmentBytes_) {
      const std::size_t want = std::min(readChunk_, segmentBytes_ - segment.size);
      const ssize_t got =
          positional_ ? ::pread(fd_, into + segment.size, want, static_cast<off_t>(segment.offset + segment.size))
                      : ::read(fd_, into + segment.size, want);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        segment.failed = true;
        return;
      }
      if (got == 0) return;
      segment.size += static_cast<std::size_t>(got);
    }
  }

  // The lanes from the guessed key and the checksum dots of the whole blocks, as guessed.
  void Decode(Segment& segment) const {
    if (segment.size == 0) return;
    XorDecodeLanes(segment.raw, segment.plain, segment.size, static_cast<std::uint32_t>(segment.offset), laneBytes_,
                   options_.guessKey, segment.laneKeys.data());
    CrcBlockDots(segment.plain, segment.size / kCrcBlock, segment.dots.data());
  }

  // The file-order part of a segment; false once scanning has ended.
  bool InOrder(Segment& segment) {
    if (segment.failed || (segment.offset == 0 && segment.size == 0)) {
      result_ = ScanResult::readFailed;
      return false;
    }
    const bool atEnd = segment.size < segmentBytes_;
    const std::size_t wholeBlocks = segment.size / kCrcBlock;

    // The lane starts, now that the true key at each is known; the dots follow the bytes changed.
    std::uint8_t key = nextKey_;
    for (std::size_t lane = 0, at = 0; at < segment.size; ++lane, at += laneBytes_) {
      const std::size_t length = std::min(laneBytes_, segment.size - at);
      key = XorRepairRun(key, static_cast<std::uint32_t>(segment.offset + at), segment.raw + at, segment.plain + at,
                         length, segment.laneKeys[lane], [&](std::size_t i, std::uint8_t was, std::uint8_t now) {
                           const std::size_t x = at + i;
                           if (x / kCrcBlock < wholeBlocks) {
                             segment.dots[x / kCrcBlock] +=
                                 static_cast<std::uint32_t>(now - was) * CrcBlockWeight(x % kCrcBlock);
                           }
                         });
    }
    nextKey_ = key;

    // The window: the carried tail, then the segment.
    const std::size_t carried = carrySize_;
    plain_ = segment.plain - carried;
    std::memcpy(plain_, carryPlain_, carried);
    if (data_ != nullptr) {
      raw_ = segment.raw - carried;
    } else {
      std::uint8_t* raw = segment.rawBuffer.get() + kCarryRoom - carried;
      std::memcpy(raw, carryRaw_, carried);
      raw_ = raw;
    }
    size_ = carried + segment.size;
    offset_ = segment.offset - carried;
    const std::size_t first = carried / kCrcBlock;
    std::copy(carrySums_, carrySums_ + first, sums_.begin());
    sums_[first] = nextSum_;
    for (std::size_t k = 0; k < wholeBlocks; ++k) {
      sums_[first + k + 1] = CrcBlockSum(sums_[first + k], segment.dots[k], kCrcBlock);
    }
    nextSum_ = sums_[first + wholeBlocks];

    std::size_t pos = carryRecord_;
    const bool more = ReadRecords(pos, atEnd);
    StoreValues();
    if (!more) return false;

    const std::size_t from = pos / kCrcBlock * kCrcBlock;
    carrySize_ = size_ - from;
    carryRecord_ = pos - from;
    std::memcpy(carryRaw_, raw_ + from, carrySize_);
    std::memcpy(carryPlain_, plain_ + from, carrySize_);
    std::copy(sums_.begin() + static_cast<std::ptrdiff_t>(from / kCrcBlock),
              sums_.begin() + static_cast<std::ptrdiff_t>(from / kCrcBlock + carrySize_ / kCrcBlock), carrySums_);
    return true;
  }

  // Reads the window's records from pos; stops, when more data follows, where less than a whole
  // record is left (pos is then the first record not read). False once reading has stopped.
  bool ReadRecords(std::size_t& pos, bool atEnd) {
    const std::uint8_t* const plain = plain_;
    const std::uint8_t* const destinations = destinations_;
    const std::size_t size = size_;
    for (;;) {
      // The hot loop: ordinary records far enough from the end that no bound needs checking.
      // Destination 0 (no value) has a slot of its own, never stored, so that no branch is needed.
      std::size_t at = pos;
      std::uint64_t pending = pending_;
      while (at + kMaxLogRecord <= size) {
        const std::uint32_t code = LoadCode(plain + at);
        const std::size_t n = plain[at + 4];
        if (n - 1 >= kMaxLogText || code >= static_cast<std::uint32_t>(kScanCodes)) break;
        const std::uint8_t destination = destinations[code];
        if (destination == kScanSerial || HasControlByte(plain + at + 5, n)) break;
        last_[destination] = at;
        pending |= std::uint64_t{1} << destination;
        at += 5 + n;
      }
      pending_ = pending;
      pos = at;

      const std::size_t left = size - pos;
      if (left < kMaxLogRecord && !atEnd) return true;
      if (left >= 5) {
        const std::uint32_t code = LoadCode(plain + pos);
        const std::size_t n = plain[pos + 4];
        if (n - 1 < kMaxLogText && n + 5 <= left && code < static_cast<std::uint32_t>(kScanCodes)) {
          const std::uint8_t destination = destinations[code];
          if (destination != kScanSerial && !HasControlByte(plain + pos + 5, n)) {
            last_[destination] = pos;
            pending_ |= std::uint64_t{1} << destination;
            pos += 5 + n;
            continue;
          }
        }
      }
      // The serial reader takes this record. Values noted so far go first, unless the record is a
      // checksum record, which sets no value.
      if (left < 4 || LoadCode(plain + pos) != static_cast<std::uint32_t>(lcChecksum)) StoreValues();
      if (!ReadSerially(pos)) return false;
    }
  }

  bool ReadSerially(std::size_t& pos) {
    const std::size_t block = pos / kCrcBlock;
    const std::size_t into = pos % kCrcBlock;
    const std::uint32_t dot = CrcBlockDot(plain_ + block * kCrcBlock, into);
    const TCrcState crc{CrcBlockSum(sums_[block], dot, into), static_cast<std::uint32_t>((offset_ + pos) % 24)};
    const auto key = static_cast<std::uint8_t>(pos < size_ ? raw_[pos] ^ plain_[pos] : 0);
    const TXorState xorState{key, static_cast<std::uint32_t>(offset_ + pos)};
    return sink_.ReadSerially(raw_, size_, pos, xorState, crc);
  }

  void StoreValues() {
    for (std::uint64_t pending = pending_ & ~std::uint64_t{1}; pending != 0; pending &= pending - 1) {
      const std::uint8_t* record = plain_ + last_[std::countr_zero(pending)];
      sink_.StoreValue(static_cast<std::int32_t>(LoadCode(record)),
                       std::string_view(reinterpret_cast<const char*>(record + 5), record[4]));
    }
    pending_ = 0;
  }

  ScanSink& sink_;
  const std::uint8_t* const destinations_;
  const ScanOptions options_;
  std::size_t segmentBytes_ = 0;
  std::size_t laneBytes_ = 0;
  std::size_t readChunk_ = 0;
  unsigned threads_ = 1;

  // The input.
  const std::uint8_t* data_ = nullptr;
  std::size_t dataSize_ = 0;
  int fd_ = -1;
  bool positional_ = false;

  // Taking turns in file order.
  std::mutex mutex_;
  std::condition_variable turnChanged_;
  std::size_t turn_ = 0;
  std::atomic<bool> ended_{false};
  std::exception_ptr failure_;

  // The file-order state, used by whichever thread has the turn.
  ScanResult result_ = ScanResult::done;
  std::uint8_t nextKey_ = kXorInitialKey;  // true key at the next segment's first byte
  std::uint32_t nextSum_ = 0;              // Sum there
  std::size_t carrySize_ = 0;
  std::size_t carryRecord_ = 0;  // the first record not read, in the carried tail
  std::uint8_t carryRaw_[kCarryRoom] = {};
  std::uint8_t carryPlain_[kCarryRoom] = {};
  std::uint32_t carrySums_[kCarryRoom / kCrcBlock] = {};
  // The window being read: its scrambled and plain bytes, file offset, Sum at each block start.
  const std::uint8_t* raw_ = nullptr;
  std::uint8_t* plain_ = nullptr;
  std::size_t size_ = 0;
  std::size_t offset_ = 0;
  std::vector<std::uint32_t> sums_;
  // Where in the window the last record of each destination is, for those noted since the last store.
  std::size_t last_[kMaxDestinations] = {};
  std::uint64_t pending_ = 0;
};

}  // namespace

ScanResult ScanLogData(const std::uint8_t* data, std::size_t size, ScanSink& sink, const ScanOptions& options) {
  if (data == nullptr || size == 0) return ScanResult::readFailed;
  Scanner scanner(sink, options, size);
  return scanner.ScanMemory(data, size);
}

ScanResult ScanLogFile(int fd, bool regular, std::size_t sizeHint, ScanSink& sink, const ScanOptions& options) {
  Scanner scanner(sink, options, sizeHint);
  return scanner.ScanFile(fd, regular);
}

}  // namespace gsmlog
