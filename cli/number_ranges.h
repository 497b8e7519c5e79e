#pragma once
// A set of whole numbers kept as ranges: a run's cycle numbers, mostly consecutive, take a few
// bytes however many of them there are.

#include <cstdint>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

namespace cli {

class NumberRanges {
 public:
  bool Contains(long long n) const {
    auto it = ranges_.upper_bound(n);
    return it != ranges_.begin() && std::prev(it)->second >= n;
  }

  // Adds n; false when it was there already.
  bool Add(long long n) {
    if (Contains(n)) return false;
    ++count_;
    auto next = ranges_.upper_bound(n);
    if (next != ranges_.begin()) {
      auto before = std::prev(next);
      if (before->second + 1 == n) {
        before->second = n;
        if (next != ranges_.end() && next->first == n + 1) {
          before->second = next->second;
          ranges_.erase(next);
        }
        return true;
      }
    }
    if (next != ranges_.end() && next->first == n + 1) {
      const long long last = next->second;
      ranges_.erase(next);
      ranges_[n] = last;
      return true;
    }
    ranges_[n] = n;
    return true;
  }

  bool Empty() const { return ranges_.empty(); }
  const std::map<long long, long long>& Ranges() const { return ranges_; }
  std::uint64_t Count() const { return count_; }

  // The numbers missing between the lowest and the highest held, as first and last of each gap.
  std::vector<std::pair<long long, long long>> Gaps() const {
    std::vector<std::pair<long long, long long>> gaps;
    for (auto it = ranges_.begin(); it != ranges_.end(); ++it) {
      const auto next = std::next(it);
      if (next != ranges_.end()) gaps.emplace_back(it->second + 1, next->first - 1);
    }
    return gaps;
  }

 private:
  std::map<long long, long long> ranges_;  // first -> last, apart and not adjacent
  std::uint64_t count_ = 0;
};

}  // namespace cli
