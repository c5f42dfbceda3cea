#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace rt {

// Root of every failure the runtime and the program raise. ClassName() names
// the concrete class, so a report can say what was raised without RTTI tricks.
class RuntimeException : public std::runtime_error {
 public:
  explicit RuntimeException(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
  virtual const char* ClassName() const { return "RuntimeException"; }
};

// Raised wherever a missing object (a null reference) would be used.
class NilObjectException : public RuntimeException {
 public:
  explicit NilObjectException(const std::string& message = "nil object")
      : RuntimeException(message) {}
  const char* ClassName() const override { return "NilObjectException"; }
};

// A failed system call on a file or stream; ErrorNumber is the system's errno.
class IOException : public RuntimeException {
 public:
  IOException(const std::string& message, int errorNumber)
      : RuntimeException(message), error_number_(errorNumber) {}
  int ErrorNumber() const { return error_number_; }
  const char* ClassName() const override { return "IOException"; }

 private:
  int error_number_;
};

// A regular expression that cannot be used (bad pattern, bad subject, limits).
class RegExException : public RuntimeException {
 public:
  explicit RegExException(const std::string& message) : RuntimeException(message) {}
  const char* ClassName() const override { return "RegExException"; }
};

// A type-tested conversion of an object to a class it is not.
class IllegalCastException : public RuntimeException {
 public:
  explicit IllegalCastException(const std::string& message) : RuntimeException(message) {}
  const char* ClassName() const override { return "IllegalCastException"; }
};

// A user-interface operation called from a thread other than the main one.
class ThreadAccessingUIException : public RuntimeException {
 public:
  explicit ThreadAccessingUIException(const std::string& message)
      : RuntimeException(message) {}
  const char* ClassName() const override { return "ThreadAccessingUIException"; }
};

// Dereferences a shared reference, raising NilObjectException instead of
// touching a null pointer. `what` names the missing object in the message.
template <class T>
T& NotNil(const std::shared_ptr<T>& p, const char* what = "object") {
  if (!p) throw NilObjectException(std::string("nil ") + what);
  return *p;
}

template <class T>
T& NotNil(T* p, const char* what = "object") {
  if (p == nullptr) throw NilObjectException(std::string("nil ") + what);
  return *p;
}

// Type-tested conversion of a shared reference; a null stays null, a wrong
// class raises IllegalCastException.
template <class To, class From>
std::shared_ptr<To> CastTo(const std::shared_ptr<From>& p, const char* target = "the target class") {
  if (!p) return nullptr;
  auto q = std::dynamic_pointer_cast<To>(p);
  if (!q) throw IllegalCastException(std::string("object is not of ") + target);
  return q;
}

}  // namespace rt
