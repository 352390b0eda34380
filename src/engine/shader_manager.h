#pragma once
// The shader manager: loads, compiles and reloads the shaders of render passes.

#include <string>

#include <tl/expected.hpp>

class shader_manager_t {
 public:
  virtual ~shader_manager_t() = default;
  // Drops every shader before the device goes.
  virtual void release() = 0;
  virtual void reload_changed_files() = 0;
};

// Stand-in until shaders can be compiled: there are no built-in shaders to wait for.
class shader_manager_impl_t final : public shader_manager_t {
 public:
  tl::expected<void, std::string> init() { return {}; }
  void release() override {}
  void reload_changed_files() override {}
};
