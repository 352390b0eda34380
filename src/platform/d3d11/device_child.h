#pragma once
// Reference counting, QueryInterface and GetDevice for every object a device makes. The last
// Release hands the object to the device's GL queue, which deletes its GL names on the context
// thread and then the object, so a worker may drop the last reference safely.

#include <atomic>

#include "platform/d3d11/device.h"

template <class Interface>
class device_child_t : public Interface {
 public:
  explicit device_child_t(d3d11_device_t* device) : device_(device) { device_->add_private_ref(); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!matches_chain<Interface>(riid)) return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) retire();
    return left;
  }
  void GetDevice(ID3D11Device** device) override {
    if (!device) return;
    device_->AddRef();
    *device = device_;
  }

  d3d11_device_t* device() const { return device_; }

  // Takes a reference unless the object is already on its way out (for shared state lookups).
  bool try_add_ref() {
    ULONG count = refs_.load(std::memory_order_relaxed);
    while (count != 0)
      if (refs_.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel)) return true;
    return false;
  }

 protected:
  virtual ~device_child_t() = default;
  // Context thread: delete the GL names this object made.
  virtual void destroy_gl() {}
  // Calling thread of the last Release, before the object is queued for deletion.
  virtual void on_last_release() {}

 private:
  template <class I>
  static bool matches_chain(REFIID riid) {
    if (riid == I::iid) return true;
    if constexpr (requires { typename I::base_interface_t; })
      return matches_chain<typename I::base_interface_t>(riid);
    else
      return false;
  }

  void retire() {
    on_last_release();
    d3d11_device_t* device = device_;
    device->retire_child([this, device] {
      destroy_gl();
      delete this;
      device->release_private_ref();
    });
  }

  d3d11_device_t* device_;
  std::atomic<ULONG> refs_{1};
};
