#pragma once
// COM-style interface base shared by the DXGI and Direct3D 11 stand-ins: interface ids, IUnknown
// with atomic reference counting (the device is free-threaded), and com_ptr_t, an owning pointer
// shaped like ATL's CComPtr (the member `p`, `&ptr` for out-parameters).
//
// Every interface declares `static constexpr IID iid` and `using base_interface_t = <its base>`;
// com_object_t<I> answers QueryInterface for I and each of its bases, and asks
// query_other_interface() for anything else (an object exposing a second interface chain).

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/dxgi/hresult.h"
#include "platform/win32/types.h"

using ULONG = uint32_t;
using WCHAR = char16_t;
using UINT64 = uint64_t;
using SIZE_T = size_t;

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};
};
using IID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// Ids only need to be distinct within this process; the family groups them for reading dumps.
constexpr IID make_iid(uint32_t family, uint16_t number) { return IID{0x9c3a0000u | family, number, 0, {}}; }

#define __uuidof(interface_type) (interface_type::iid)

struct IUnknown {
  static constexpr IID iid = make_iid(0, 0);
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Reference counting and QueryInterface for one interface chain. Objects start with one
// reference, which the creating call hands to its caller.
template <class Interface>
class com_object_t : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (matches_chain<Interface>(riid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    return query_other_interface(riid, object);
  }
  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  ULONG reference_count() const { return refs_.load(std::memory_order_relaxed); }

 protected:
  // For further interfaces; on success store the pointer and AddRef as QueryInterface does.
  virtual HRESULT query_other_interface(REFIID, void**) { return E_NOINTERFACE; }

 private:
  template <class I>
  static bool matches_chain(REFIID riid) {
    if (riid == I::iid) return true;
    if constexpr (requires { typename I::base_interface_t; })
      return matches_chain<typename I::base_interface_t>(riid);
    else
      return false;
  }

  std::atomic<ULONG> refs_{1};
};

// Owns one reference. Assigning from a raw pointer adds a reference; attach() adopts one.
template <class T>
class com_ptr_t {
 public:
  com_ptr_t() = default;
  com_ptr_t(std::nullptr_t) {}
  com_ptr_t(T* raw) : p(raw) {
    if (p) p->AddRef();
  }
  com_ptr_t(const com_ptr_t& other) : com_ptr_t(other.p) {}
  com_ptr_t(com_ptr_t&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
  ~com_ptr_t() { Release(); }

  com_ptr_t& operator=(const com_ptr_t& other) {
    com_ptr_t copy(other);
    std::swap(p, copy.p);
    return *this;
  }
  com_ptr_t& operator=(com_ptr_t&& other) noexcept {
    if (this != std::addressof(other)) {
      Release();
      p = std::exchange(other.p, nullptr);
    }
    return *this;
  }
  com_ptr_t& operator=(T* raw) {
    com_ptr_t copy(raw);
    std::swap(p, copy.p);
    return *this;
  }

  // Drops the reference now and leaves the pointer null.
  void Release() {
    if (T* old = std::exchange(p, nullptr)) old->Release();
  }
  void attach(T* raw) {
    Release();
    p = raw;
  }
  T* detach() { return std::exchange(p, nullptr); }
  T* get() const { return p; }

  // Out-parameter address; a reference still held is dropped first so it cannot leak.
  T** operator&() {
    Release();
    return &p;
  }
  T* operator->() const { return p; }
  operator T*() const { return p; }

  T* p = nullptr;
};
