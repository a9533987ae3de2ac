// A Win32 handle that closes itself when it goes out of scope, so that no
// path can leak it. Null and INVALID_HANDLE_VALUE are never closed.
#pragma once

#include <windows.h>

#include <cstdint>

template <typename Handle, BOOL(WINAPI* Close)(Handle)>
struct Owned {
  Handle handle;
  explicit Owned(Handle h) : handle(h) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle(other.handle) { other.handle = Handle(); }
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      Reset();
      handle = other.handle;
      other.handle = Handle();
    }
    return *this;
  }
  ~Owned() { Reset(); }
  void Reset() {
    auto value = reinterpret_cast<std::intptr_t>(handle);
    if (value != 0 && value != -1) Close(handle);
    handle = Handle();
  }
};

using OwnedHandle = Owned<HANDLE, CloseHandle>;
using OwnedServiceHandle = Owned<SC_HANDLE, CloseServiceHandle>;
using OwnedSearch = Owned<HANDLE, FindClose>;
