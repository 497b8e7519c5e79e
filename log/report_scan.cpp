#include "log/report_scan.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
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

// 32 lanes fill the widest vectors. Lanes a power of two apart fall into a few cache sets and
// evict each other's lines; a stride off the 64-byte grid spreads them (12336 for the default).
std::size_t AutomaticLaneBytes(std::size_t segmentBytes) {
  std::size_t lane = segmentBytes / 32 / 16 * 16;
  if (lane >= 64 && lane % 64 == 0) lane -= 16;
  return lane >= 16 ? lane : segmentBytes;
}

// The last chain of records the walk over a segment's guessed plain bytes followed. A walk that
// starts at a wrong byte soon lands on a true record start and follows the true records from
// there; one that meets a record it cannot take (a garbage start, or a record that stops reading)
// begins again one byte further on. So once the file-order walk meets a start of this chain, the
// chain's records are its own up to the chain's end.
struct Chain {
  static constexpr std::size_t kFirstStarts = 256;
  std::size_t start = 0;              // where it began
  std::uint32_t first[kFirstStarts];  // its first record starts; the file-order walk meets it among them
  std::size_t firstCount = 0;
  std::size_t end = 0;                   // the first record it did not take: cut by the segment's end
  std::vector<std::uint32_t> checksums;  // its checksum records, in order
  std::uint32_t last[kMaxDestinations];  // per destination, 1 + where its last record of it is; 0: none
};

struct Segment {
  std::size_t offset = 0;  // file offset of the first byte
  std::size_t size = 0;    // bytes held
  bool failed = false;     // a read error
  const std::uint8_t* raw = nullptr;
  std::unique_ptr<std::uint8_t[]> rawBuffer;  // files: kCarryRoom of room, then the bytes
  std::unique_ptr<std::uint8_t[]> plainBuffer;
  std::uint8_t* plain = nullptr;       // kCarryRoom into plainBuffer
  std::vector<std::uint32_t> dots;     // per whole block
  std::vector<std::uint32_t> local;    // Sum at each block start had the segment begun with Sum 0
  std::vector<std::uint8_t> laneKeys;  // each lane's key after the bytes it holds
  std::uint8_t keyAfter = 0;           // the key after the segment, if lane 0's guess comes right
  Chain chain;
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
    threads_ = std::min(threads_, 16u);
    powers_.resize(segmentBytes_ / kCrcBlock + 1);
    powers_[0] = 1;
    for (std::size_t k = 1; k < powers_.size(); ++k) powers_[k] = powers_[k - 1] * kCrcBlockMul;
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
    // Two segments per thread: one being prepared, one waiting for its turn in file order.
    slots_.resize(threads_ == 1 ? 1 : 2 * std::size_t{threads_});
    for (auto& slot : slots_) Allocate(slot.segment);
    // Any thread can do all of the work, so a helper the system refuses is only a loss of speed.
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads_; ++t) {
      try {
        helpers.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    Work();
    for (auto& helper : helpers) helper.join();
    if (failure_) std::rethrow_exception(failure_);
    return result_;
  }

  void Allocate(Segment& segment) const {
    if (data_ == nullptr) segment.rawBuffer.reset(new std::uint8_t[kCarryRoom + segmentBytes_]);
    segment.plainBuffer.reset(new std::uint8_t[kCarryRoom + segmentBytes_ + kPad]);
    segment.plain = segment.plainBuffer.get() + kCarryRoom;
    std::memset(segment.plain + segmentBytes_, 0, kPad);
    segment.dots.resize(segmentBytes_ / kCrcBlock);
    segment.local.resize(segmentBytes_ / kCrcBlock + 1);
    segment.laneKeys.resize((segmentBytes_ + laneBytes_ - 1) / laneBytes_);
  }

  // Each thread takes whatever is next: the file-order part of the segment whose turn it is, once
  // it is prepared; otherwise the next segment to read and prepare, while a slot is free. So a
  // thread the machine holds back delays nothing but its own segment.
  void Work() {
    std::unique_lock lock(mutex_);
    try {
      while (!ended_) {
        Slot* next = nullptr;
        Slot* free = nullptr;
        for (auto& slot : slots_) {
          if (slot.state == Slot::prepared && slot.index == turn_) next = &slot;
          if (slot.state == Slot::free && free == nullptr) free = &slot;
        }
        if (next != nullptr && !inOrderBusy_) {
          inOrderBusy_ = true;
          lock.unlock();
          const bool more = InOrder(next->segment);
          lock.lock();
          inOrderBusy_ = false;
          next->state = Slot::free;
          ++turn_;
          if (!more) ended_ = true;
          changed_.notify_all();
        } else if (free != nullptr) {
          free->state = Slot::preparing;
          free->index = nextIndex_++;
          lock.unlock();
          Fill(free->segment, free->index);
          Prepare(free->segment);
          lock.lock();
          free->state = Slot::prepared;
          changed_.notify_all();
        } else {
          changed_.wait(lock);
        }
      }
    } catch (...) {
      if (!lock.owns_lock()) lock.lock();
      if (!failure_) failure_ = std::current_exception();
      ended_ = true;
      changed_.notify_all();
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

  // Everything that needs no earlier segment, done on the guess that lane 0 comes right by its end.
  void Prepare(Segment& segment) const {
    if (segment.size == 0) return;
    XorDecodeLanes(segment.raw, segment.plain, segment.size, static_cast<std::uint32_t>(segment.offset), laneBytes_,
                   options_.guessKey, segment.laneKeys.data());
    // Each later lane starts where the one before ended; InOrder checks lane 0 and redoes the rest
    // in the rare case its guess never came right. A lane's key after it is then the one its bytes
    // now lead to.
    std::uint8_t key = segment.laneKeys[0];
    for (std::size_t lane = 1, at = laneBytes_; at < segment.size; ++lane, at += laneBytes_) {
      key = XorRepairRun(key, static_cast<std::uint32_t>(segment.offset + at), segment.raw + at, segment.plain + at,
                         std::min(laneBytes_, segment.size - at), segment.laneKeys[lane],
                         [](std::size_t, std::uint8_t, std::uint8_t) {});
      segment.laneKeys[lane] = key;
    }
    segment.keyAfter = key;
    const std::size_t blocks = segment.size / kCrcBlock;
    CrcBlockDots(segment.plain, blocks, segment.dots.data());
    segment.local[0] = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
      segment.local[k + 1] = CrcBlockSum(segment.local[k], segment.dots[k], kCrcBlock);
    }
    Walk(segment);
  }

  // Follows records through the segment's guessed plain bytes from its first byte (see Chain).
  void Walk(Segment& segment) const {
    const std::uint8_t* const plain = segment.plain;
    const std::size_t size = segment.size;
    const std::uint8_t* const destinations = destinations_;
    Chain& chain = segment.chain;
    std::memset(chain.last, 0, sizeof chain.last);
    chain.checksums.clear();
    std::size_t count = 0;
    std::size_t at = 0;
    std::size_t begun = 0;
    for (;;) {
      // The hot loop: ordinary records far enough from the end that no bound needs checking.
      while (at + kMaxLogRecord <= size) {
        const std::uint32_t code = LoadCode(plain + at);
        const std::size_t n = plain[at + 4];
        if (n - 1 >= kMaxLogText || code >= static_cast<std::uint32_t>(kScanCodes)) break;
        const std::uint8_t destination = destinations[code];
        if (destination == kScanSerial || HasControlByte(plain + at + 5, n)) break;
        if (count < Chain::kFirstStarts) chain.first[count++] = static_cast<std::uint32_t>(at);
        chain.last[destination] = static_cast<std::uint32_t>(at + 1);
        at += 5 + n;
      }
      if (at + 5 > size) break;
      const std::uint32_t code = LoadCode(plain + at);
      const std::size_t n = plain[at + 4];
      if (n - 1 < kMaxLogText) {
        if (at + 5 + n > size) break;
        if (code < static_cast<std::uint32_t>(kScanCodes) && !HasControlByte(plain + at + 5, n)) {
          const std::uint8_t destination = destinations[code];
          if (destination != kScanSerial || code == static_cast<std::uint32_t>(kChecksumCode)) {
            if (count < Chain::kFirstStarts) chain.first[count++] = static_cast<std::uint32_t>(at);
            if (destination == kScanSerial) {
              chain.checksums.push_back(static_cast<std::uint32_t>(at));
            } else {
              chain.last[destination] = static_cast<std::uint32_t>(at + 1);
            }
            at += 5 + n;
            continue;
          }
        }
      }
      ++at;
      begun = at;
      chain.checksums.clear();
      count = 0;
    }
    chain.start = begun;
    chain.end = at;
    chain.firstCount = count;
  }

  // The file-order part of a segment; false once scanning has ended.
  bool InOrder(Segment& segment) {
    if (segment.size == 0 && (segment.failed || segment.offset == 0)) {
      result_ = ScanResult::readFailed;
      return false;
    }
    // A read error ends the data, but the bytes read before it are read first: reading may stop
    // inside them, and then the error does not matter.
    const bool atEnd = segment.size < segmentBytes_ && !segment.failed;
    const std::size_t blocks = segment.size / kCrcBlock;
    const auto adjustDot = [&](std::size_t x, std::uint8_t was, std::uint8_t now) {
      if (x / kCrcBlock < blocks) {
        segment.dots[x / kCrcBlock] += static_cast<std::uint32_t>(now - was) * CrcBlockWeight(x % kCrcBlock);
      }
    };

    // Lane 0 from the true key. Where its guess comes right, so do the later lanes, which began
    // where it ended; otherwise they are decoded again from the true keys.
    std::size_t changed = 0;  // bytes up to the last one changed
    const std::size_t lane0 = std::min(laneBytes_, segment.size);
    std::uint8_t key = XorRepairRun(nextKey_, static_cast<std::uint32_t>(segment.offset), segment.raw, segment.plain,
                                    lane0, segment.laneKeys[0], [&](std::size_t i, std::uint8_t was, std::uint8_t now) {
                                      adjustDot(i, was, now);
                                      changed = i + 1;
                                    });
    bool guessHeld = true;
    if (segment.size > lane0) {
      if (key == segment.laneKeys[0]) {
        key = segment.keyAfter;
      } else {
        guessHeld = false;
        for (std::size_t lane = 1, at = laneBytes_; at < segment.size; ++lane, at += laneBytes_) {
          key = XorRepairRun(key, static_cast<std::uint32_t>(segment.offset + at), segment.raw + at, segment.plain + at,
                             std::min(laneBytes_, segment.size - at), segment.laneKeys[lane],
                             [&](std::size_t i, std::uint8_t was, std::uint8_t now) {
                               adjustDot(at + i, was, now);
                               changed = at + i + 1;
                             });
        }
      }
    }
    nextKey_ = key;

    // The block sums from the first changed block on; past the last one the change only carries.
    const std::size_t redo = changed == 0 ? 0 : std::min(blocks, (changed - 1) / kCrcBlock + 1);
    const std::uint32_t before = segment.local[redo];
    for (std::size_t k = 0; k < redo; ++k) {
      segment.local[k + 1] = CrcBlockSum(segment.local[k], segment.dots[k], kCrcBlock);
    }
    carryFrom_ = redo;
    carryChange_ = segment.local[redo] - before;
    local_ = segment.local.data();
    segmentSum_ = nextSum_;

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
    carriedBlocks_ = carried / kCrcBlock;
    nextSum_ = SegmentSum(blocks);

    // The walk's chain can be taken over where it starts past every byte changed above.
    chain_ = &segment.chain;
    nextStart_ = 0;
    takeFrom_ = guessHeld ? carried + std::max(segment.chain.start, changed) : SIZE_MAX;
    carried_ = carried;

    std::size_t pos = carryRecord_;
    const bool more = ReadRecords(pos, atEnd);
    StoreValues();
    if (!more) return false;
    if (segment.failed) {
      result_ = ScanResult::readFailed;
      return false;
    }

    const std::size_t from = pos / kCrcBlock * kCrcBlock;
    carrySize_ = size_ - from;
    carryRecord_ = pos - from;
    std::memcpy(carryRaw_, raw_ + from, carrySize_);
    std::memcpy(carryPlain_, plain_ + from, carrySize_);
    for (std::size_t b = 0; b < carrySize_ / kCrcBlock; ++b) carrySums_[b] = WindowSum(from / kCrcBlock + b);
    return true;
  }

  // Sum at the start of the segment's block k.
  std::uint32_t SegmentSum(std::size_t k) const {
    std::uint32_t local = local_[k];
    if (k > carryFrom_) local += powers_[k - carryFrom_] * carryChange_;
    return powers_[k] * segmentSum_ + local;
  }

  // Sum at the start of the window's block b.
  std::uint32_t WindowSum(std::size_t b) const {
    return b < carriedBlocks_ ? carrySums_[b] : SegmentSum(b - carriedBlocks_);
  }

  // Reads the window's records from pos; stops, when more data follows, where less than a whole
  // record is left (pos is then the first record not read). False once reading has stopped.
  bool ReadRecords(std::size_t& pos, bool atEnd) {
    const std::uint8_t* const plain = plain_;
    const std::uint8_t* const destinations = destinations_;
    const std::size_t size = size_;
    for (;;) {
      // Ordinary records far enough from the end that no bound needs checking, until one is a
      // start of the walk's chain. Destination 0 (no value) has a slot of its own, never stored.
      std::size_t at = pos;
      std::uint64_t pending = pending_;
      while (at + kMaxLogRecord <= size) {
        if (at >= takeFrom_ && AtChainStart(at)) break;
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

      if (pos >= takeFrom_ && AtChainStart(pos)) {
        if (!TakeChain(pos)) return false;
        continue;
      }
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
      if (left < 4 || LoadCode(plain + pos) != static_cast<std::uint32_t>(kChecksumCode)) StoreValues();
      if (!ReadSerially(pos)) return false;
    }
  }

  // Whether the window position at (past takeFrom_) is one of the chain's first record starts;
  // once the walk is past all of them the chain cannot be met any more.
  bool AtChainStart(std::size_t at) {
    const Chain& chain = *chain_;
    const std::size_t x = at - carried_;
    while (nextStart_ < chain.firstCount && chain.first[nextStart_] < x) ++nextStart_;
    if (nextStart_ == chain.firstCount) {
      takeFrom_ = SIZE_MAX;
      return false;
    }
    return chain.first[nextStart_] == x;
  }

  // The walk's chain from pos (one of its record starts) to its end: its checksum records read
  // serially, its last value of each destination noted. False once reading has stopped.
  bool TakeChain(std::size_t& pos) {
    const Chain& chain = *chain_;
    takeFrom_ = SIZE_MAX;
    const auto from = static_cast<std::uint32_t>(pos - carried_);
    auto checksum = std::lower_bound(chain.checksums.begin(), chain.checksums.end(), from);
    for (; checksum != chain.checksums.end(); ++checksum) {
      std::size_t at = carried_ + *checksum;
      if (!ReadSerially(at)) return false;
    }
    for (std::size_t d = 1; d < kMaxDestinations; ++d) {
      if (chain.last[d] > from) {
        last_[d] = carried_ + chain.last[d] - 1;
        pending_ |= std::uint64_t{1} << d;
      }
    }
    pos = carried_ + chain.end;
    return true;
  }

  bool ReadSerially(std::size_t& pos) {
    const std::size_t block = pos / kCrcBlock;
    const std::size_t into = pos % kCrcBlock;
    const std::uint32_t dot = CrcBlockDot(plain_ + block * kCrcBlock, into);
    const TCrcState crc{CrcBlockSum(WindowSum(block), dot, into), static_cast<std::uint32_t>((offset_ + pos) % 24)};
    const auto key = static_cast<std::uint8_t>(pos < size_ ? raw_[pos] ^ plain_[pos] : 0);
    const TXorState xorState{key, static_cast<std::uint32_t>(offset_ + pos)};
    return sink_.ReadSerially(raw_, size_, pos, xorState, crc, offset_ + pos);
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
  std::vector<std::uint32_t> powers_;  // kCrcBlockMul to the k-th power

  // The input.
  const std::uint8_t* data_ = nullptr;
  std::size_t dataSize_ = 0;
  int fd_ = -1;
  bool positional_ = false;

  // Segments in hand and whose turn it is, guarded by mutex_.
  struct Slot {
    enum State { free, preparing, prepared };
    Segment segment;
    State state = free;
    std::size_t index = 0;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  std::size_t nextIndex_ = 0;  // the next segment to read
  std::size_t turn_ = 0;       // the segment whose file-order part is next
  bool inOrderBusy_ = false;
  bool ended_ = false;
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
  // The window being read: the carried tail and a segment; its scrambled and plain bytes, file
  // offset, and what gives the Sum at each block start.
  const std::uint8_t* raw_ = nullptr;
  std::uint8_t* plain_ = nullptr;
  std::size_t size_ = 0;
  std::size_t offset_ = 0;
  std::size_t carried_ = 0;
  std::size_t carriedBlocks_ = 0;
  const std::uint32_t* local_ = nullptr;
  std::uint32_t segmentSum_ = 0;
  std::size_t carryFrom_ = 0;      // block from which a change in the first blocks carries
  std::uint32_t carryChange_ = 0;  // that change at block carryFrom_
  // The walk's chain, the window position from which it may be taken over, and the first of its
  // record starts not passed yet.
  const Chain* chain_ = nullptr;
  std::size_t nextStart_ = 0;
  std::size_t takeFrom_ = SIZE_MAX;
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
