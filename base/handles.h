// One move-only owner per kind of Win32 handle. Nothing outside base/ closes a handle by hand:
// wrap it here and let scope end its life. Closing never disturbs the caller's GetLastError.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Closes what is held (if anything) and takes the new handle.
  void reset(Handle handle = Traits::Invalid()) noexcept {
    if (handle_ != Traits::Invalid()) {
      const DWORD savedError = GetLastError();
      Traits::Close(handle_);
      SetLastError(savedError);
    }
    handle_ = handle;
  }

  Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  // For APIs that return a handle through an out-parameter; closes what was held first.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { RegCloseKey(h); }
};
struct FileHandleTraits {  // CreateFileW: failure is INVALID_HANDLE_VALUE
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { CloseHandle(h); }
};
struct KernelHandleTraits {  // processes, threads, events: failure is NULL
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { FindClose(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { FreeLibrary(h); }
};
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { DeleteObject(h); }
};
struct CoTaskMemTraits {
  using Handle = void*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { CoTaskMemFree(h); }
};

using UniqueHkey = UniqueResource<RegKeyTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueCoTaskMem = UniqueResource<CoTaskMemTraits>;

// A COM interface pointer that is released once.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { reset(); }

  Interface* get() const noexcept { return ptr_; }
  Interface* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  void reset() noexcept {
    if (ptr_) {
      const DWORD savedError = GetLastError();
      ptr_->Release();
      SetLastError(savedError);
      ptr_ = nullptr;
    }
  }
  // For CoCreateInstance and QueryInterface.
  void** put_void() noexcept {
    reset();
    return reinterpret_cast<void**>(&ptr_);
  }

 private:
  Interface* ptr_ = nullptr;
};

// Screen device context from GetDC(window); released with ReleaseDC.
class ScreenDc {
 public:
  explicit ScreenDc(HWND window = nullptr) noexcept : window_(window), dc_(GetDC(window)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_) {
      const DWORD savedError = GetLastError();
      ReleaseDC(window_, dc_);
      SetLastError(savedError);
    }
  }
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// OleInitialize for the life of a scope (OleUninitialize only when it succeeded).
class OleSession {
 public:
  OleSession() noexcept : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (initialised_) OleUninitialize();
  }

 private:
  bool initialised_;
};
