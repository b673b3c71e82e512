// A loaded dynamic library that is freed with its owner.
#pragma once

#include <string>

#include "platform/Library.h"

namespace base {

class TDynamicLibrary {
 public:
  TDynamicLibrary() = default;
  explicit TDynamicLibrary(const std::string& name) : FHandle(platform::LoadLibrary(name)) {}
  ~TDynamicLibrary() { platform::FreeLibrary(FHandle); }
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  bool Loaded() const { return FHandle != nullptr; }
  void* Symbol(const char* name) const { return FHandle ? platform::GetProcAddress(FHandle, name) : nullptr; }
  template <class F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }

 private:
  platform::LibraryHandle FHandle = nullptr;
};

}  // namespace base
