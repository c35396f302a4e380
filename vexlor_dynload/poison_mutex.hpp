// A mutex that remembers an operation aborted while holding it. Every later
// lock of a poisoned mutex stops the process with the mutex's own message.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <type_traits>

namespace vexlor {

// Writes the message and a newline to standard error and aborts.
[[noreturn]] void fatal_stop(const char* message) noexcept;

class PoisonMutex {
 public:
  explicit PoisonMutex(const char* poisoned_message) : message_(poisoned_message) {}
  PoisonMutex(const PoisonMutex&) = delete;
  PoisonMutex& operator=(const PoisonMutex&) = delete;

  void lock() { lock_or_stop(message_); }
  // Kind-generic operations stop with their own, generic message.
  void lock_or_stop(const char* poisoned_message) {
    mutex_.lock();
    if (poisoned_.load(std::memory_order_relaxed)) {
      mutex_.unlock();
      fatal_stop(poisoned_message);
    }
  }
  void unlock() { mutex_.unlock(); }
  // Locks without the stop, for callers that report poisoning as an error.
  bool lock_unless_poisoned() {
    mutex_.lock();
    if (!poisoned_.load(std::memory_order_relaxed)) return true;
    mutex_.unlock();
    return false;
  }
  void poison() { poisoned_.store(true, std::memory_order_relaxed); }
  bool poisoned() const { return poisoned_.load(std::memory_order_relaxed); }
  const char* message() const { return message_; }

 private:
  std::mutex mutex_;
  std::atomic<bool> poisoned_{false};
  const char* message_;
};

// Scoped hold of a PoisonMutex; an exception leaving the scope poisons it.
class PoisonGuard {
 public:
  explicit PoisonGuard(PoisonMutex& mutex) : mutex_(mutex), exceptions_(std::uncaught_exceptions()) {
    mutex_.lock();
  }
  PoisonGuard(PoisonMutex& mutex, const char* poisoned_message)
      : mutex_(mutex), exceptions_(std::uncaught_exceptions()) {
    mutex_.lock_or_stop(poisoned_message);
  }
  // Adopts a mutex that the caller has locked already.
  PoisonGuard(PoisonMutex& mutex, std::adopt_lock_t)
      : mutex_(mutex), exceptions_(std::uncaught_exceptions()) {}
  PoisonGuard(const PoisonGuard&) = delete;
  PoisonGuard& operator=(const PoisonGuard&) = delete;
  ~PoisonGuard() {
    if (std::uncaught_exceptions() > exceptions_) mutex_.poison();
    mutex_.unlock();
  }

 private:
  PoisonMutex& mutex_;
  int exceptions_;
};

// Runs `body` holding the mutex; an exception leaving `body` poisons it.
// Costs nothing beyond the lock on the normal path, for the hottest tables.
template <class Body>
decltype(auto) with_lock(PoisonMutex& mutex, Body&& body) {
  mutex.lock();
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      mutex.unlock();
    } else {
      decltype(auto) result = body();
      mutex.unlock();
      return result;
    }
  } catch (...) {
    mutex.poison();
    mutex.unlock();
    throw;
  }
}

// A value together with the mutex that guards it.
template <class T>
struct Locked {
  explicit Locked(const char* poisoned_message) : mutex(poisoned_message) {}
  PoisonMutex mutex;
  T value;
};

}  // namespace vexlor
