// An open-addressing hash map for the registry's hottest tables: keys that are
// hashes already, linear probing, no allocation per entry. Lookups return a
// pointer to the entry (`->second` is the value), `end()` is null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexlor {

template <class Key, class Value>
class FlatKeyMap {
 public:
  struct Entry {
    Key first{};
    Value second{};
    bool used = false;
  };

  Entry* find(Key key) {
    if (entries_.empty()) return nullptr;
    for (size_t at = home(key);; at = next(at)) {
      Entry& entry = entries_[at];
      if (!entry.used) return nullptr;
      if (entry.first == key) return &entry;
    }
  }
  Entry* end() const { return nullptr; }
  size_t count(Key key) { return find(key) != nullptr; }
  size_t size() const { return size_; }

  Value& operator[](Key key) {
    if (Entry* existing = find(key)) return existing->second;
    if ((size_ + 1) * 2 > entries_.size()) grow();
    size_t at = home(key);
    while (entries_[at].used) at = next(at);
    entries_[at] = Entry{key, Value{}, true};
    ++size_;
    return entries_[at].second;
  }

  // Backward-shift deletion keeps every probe sequence unbroken.
  void erase(Key key) {
    Entry* found = find(key);
    if (found == nullptr) return;
    size_t hole = static_cast<size_t>(found - entries_.data());
    for (size_t at = next(hole); entries_[at].used; at = next(at)) {
      const size_t wanted = home(entries_[at].first);
      if (distance(wanted, at) >= distance(hole, at)) {
        entries_[hole] = entries_[at];
        hole = at;
      }
    }
    entries_[hole] = Entry{};
    --size_;
  }

  void clear() {
    entries_.clear();
    size_ = 0;
  }

 private:
  size_t mask() const { return entries_.size() - 1; }
  size_t home(Key key) const {
    const uint64_t mixed = static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(mixed >> 32) & mask();
  }
  size_t next(size_t at) const { return (at + 1) & mask(); }
  size_t distance(size_t from, size_t to) const { return (to - from) & mask(); }

  void grow() {
    std::vector<Entry> old = std::move(entries_);
    entries_.assign(old.empty() ? 64 : old.size() * 2, Entry{});
    size_ = 0;
    for (const Entry& entry : old) {
      if (entry.used) (*this)[entry.first] = entry.second;
    }
  }

  std::vector<Entry> entries_;
  size_t size_ = 0;
};

}  // namespace vexlor
