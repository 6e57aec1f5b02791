#pragma once
// Runs a function when its scope is left by an exception, and only then: what a handler disabled for its
// work (a panel, the lists, the window) is enabled again when an error such as an allocation failure
// ends it and reaches the event loop, so that the window stays usable.

#include <exception>
#include <utility>

template <typename F>
class OnUnwind {
 public:
  explicit OnUnwind(F f) : f_(std::move(f)), pending_(std::uncaught_exceptions()) {}
  ~OnUnwind() {
    if (std::uncaught_exceptions() > pending_) f_();
  }
  OnUnwind(const OnUnwind&) = delete;
  OnUnwind& operator=(const OnUnwind&) = delete;

 private:
  F f_;
  const int pending_;
};
