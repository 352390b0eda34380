#pragma once
// Turns one new shader version into a usable stage on a worker thread: the Direct3D object from
// the cached bytecode, the input layout, the tables from the cached reflection, the metadata file,
// then the state, the completion event and the report to the manager. Nothing is compiled.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "shaders/shader.h"
#include "shaders/shader_request.h"
#include "platform/d3d11/d3d11_shader.h"
#include "libs/enki/task_scheduler.h"
#include "text/serial_value.h"

class compile_task_t;
class reflection_interface_t;

// Where a compile task reports when it has finished.
class shader_loaded_interface_t {
 public:
  virtual void on_shader_loaded(compile_task_t& task, int32_t state) = 0;

 protected:
  ~shader_loaded_interface_t() = default;
};

class compile_task_t : public enki::ITaskSet {
 public:
  explicit compile_task_t(shader_loaded_interface_t* manager);
  ~compile_task_t() override;

  void ExecuteRange(enki::TaskSetPartition range, uint32_t threadnum) override;

  // Fills the version's outputs, resources, samplers and constant buffers from the reflection. A
  // resource at a register past the device's slots is left out and fails the reflection.
  tl::expected<void, std::string> apply_reflection(reflection_interface_t& reflection);
  // Reads the metadata file and applies it to the version.
  tl::expected<void, std::string> apply_metadata();
  tl::expected<void, std::string> apply_cbuffer_metadata(const serial::value_t& cbuffers);
  tl::expected<void, std::string> apply_resource_metadata(const serial::value_t& resources);
  tl::expected<void, std::string> apply_output_metadata(const serial::value_t& outputs);

  D3D11_SHADER_DESC description{};
  shader_loaded_interface_t* manager = nullptr;
  std::string error;
  shader_request_t request;
  std::string metadata_path;
  int32_t execution_time = 0;
  int32_t total_time = 0;
  int32_t start_time = 0;
  std::vector<uint8_t> code;
  std::vector<uint8_t> reflection;
  std::shared_ptr<shader_t> shader;
};

// The entry type of a reflected variable (class, component type, rows, columns); VT_NONE when the
// variable cannot be an entry.
uint8_t reflected_entry_type(const D3D11_SHADER_TYPE_DESC& type);
