#pragma once
// The GL 4.5 core context a device runs on, and what the swap chain needs from the device.
//
// By default D3D11CreateDevice makes a headless EGL context (Mesa's surfaceless platform). A
// swap chain that owns a window context can install its own factory before the device is made.
// All GL work of a device happens on the thread that uses its immediate context; make_current()
// is called there before every command (it is cheap when the context is already current).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <tl/expected.hpp>

struct ID3D11Device;
struct ID3D11Texture2D;
struct IUnknown;

class gl_context_t {
 public:
  virtual ~gl_context_t() = default;
  // Makes the context current on the calling thread; false when the platform refuses.
  virtual bool make_current() = 0;
  // Leaves no context current on the calling thread, so that another thread may take this one.
  // A context that cannot move between threads ignores it.
  virtual void release_current() {}
  // Human-readable origin ("EGL surfaceless", "SDL window") for logs.
  virtual const char* description() const = 0;

 protected:
  // Which context the layer made current on this thread. Asking the platform instead costs a system
  // call (the GL dispatch library checks for a fork on every query), and every command asks; so
  // every context change on a thread that runs layer commands goes through these contexts.
  bool current_here() const { return current_on_thread_ == id_; }
  void note_current_here() { current_on_thread_ = id_; }
  // After anything that may have left another context, or none, current.
  static void forget_current_here() { current_on_thread_ = 0; }

 private:
  static inline std::atomic<uint64_t> next_id_{1};
  static inline thread_local uint64_t current_on_thread_ = 0;
  // Never reused, so a record naming a destroyed context matches no other.
  const uint64_t id_ = next_id_.fetch_add(1, std::memory_order_relaxed);
};

using gl_context_factory_t = std::function<tl::expected<std::unique_ptr<gl_context_t>, std::string>()>;

// A GL 4.5 core context on Mesa's surfaceless EGL platform (no display, no window). Debug builds
// ask for a debug context. Fails when no 4.5 core context can be made.
tl::expected<std::unique_ptr<gl_context_t>, std::string> create_headless_gl_context();

// The factory D3D11CreateDevice uses; an empty function restores the headless default.
void set_gl_context_factory(gl_context_factory_t factory);

// The device's context (never null for a device made by D3D11CreateDevice).
gl_context_t* gl_context_of(ID3D11Device* device);

// The GL texture name behind a 2D texture, after the device ran its pending GL work; 0 for a
// texture of another device kind. Call on the context thread. The swap chain makes its back buffer
// with CreateTexture2D (R8G8B8A8_UNORM, BIND_RENDER_TARGET) and blits this name, flipped, at Present.
unsigned gl_texture_name(ID3D11Texture2D* texture);

// Runs the device's queued GL work now (creation and deletion from other threads).
void gl_flush_pending(ID3D11Device* device);

// Hook through which the DXGI layer answers ID3D11Device::QueryInterface(__uuidof(IDXGIDevice)).
// Without one the device answers E_NOINTERFACE. The hook stores an AddRef'd interface in *object.
using dxgi_device_query_t = int32_t (*)(ID3D11Device* device, void** object);
void set_dxgi_device_query(dxgi_device_query_t query);

// The adapter D3D11CreateDevice was given (not AddRef'd; null for the default adapter).
IUnknown* gl_device_adapter(ID3D11Device* device);
