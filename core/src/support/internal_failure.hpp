// InternalFailure: the exception for a broken internal expectation.
//
// Thrown wherever a step that must succeed fails (a pool worker included); the
// worker pool carries it back to the waiting thread, and the Python boundary turns
// it into PanicException after writing its text, location and thread to standard
// error. The thread is the one it was made on, so a failure on a worker names the
// worker, not the thread that reports it.
// Ordinary, expected failures never use it: they come back as std::expected values.
#pragma once

#include <exception>
#include <source_location>
#include <string>

#include "support/thread_name.hpp"

namespace morvane {

class InternalFailure : public std::exception {
 public:
  explicit InternalFailure(std::string message, std::source_location where = std::source_location::current())
      : message_(std::move(message)), where_(where), thread_(this_thread_name()) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const std::source_location& where() const noexcept { return where_; }
  // this_thread_name() as it was where the failure was made.
  const std::string& thread() const noexcept { return thread_; }

  // "file:line:column", for reports.
  std::string location() const;

 private:
  std::string message_;
  std::source_location where_;
  std::string thread_;
};

}  // namespace morvane
