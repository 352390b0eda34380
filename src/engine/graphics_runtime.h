#pragma once
// The graphics runtime: the command layer over the immediate context. Reached as S(runtime).

#include <string>

#include <tl/expected.hpp>

struct ID3D11Device;
struct ID3D11DeviceContext;

class graphics_runtime_t {
 public:
  virtual void shutdown() = 0;
  virtual tl::expected<void, std::string> init() = 0;
  // Binds the back buffer and clears it.
  virtual void begin_frame() = 0;

 protected:
  ~graphics_runtime_t() = default;
};

// Stand-in until the Direct3D context exists: nothing to bind; the graphics system clears.
class graphics_runtime_impl_t final : public graphics_runtime_t {
 public:
  graphics_runtime_impl_t(ID3D11Device* device, ID3D11DeviceContext* context)
      : device_(device), context_(context) {}
  void shutdown() override {}
  tl::expected<void, std::string> init() override { return {}; }
  void begin_frame() override {}

 private:
  ID3D11Device* device_;
  ID3D11DeviceContext* context_;
};
