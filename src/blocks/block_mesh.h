#pragma once
// The meshes of a glTF 2.0 scene, read once at load and drawn lit through the block's active
// camera into the targets the engine bound for the block.

#include <memory>
#include <string>

#include "blocks/scene_nodes.h"
#include "engine/block_base.h"

class render_pass_t;

class block_mesh_t final : public block_base_t {
 public:
  block_mesh_t();
  ~block_mesh_t() override;

  bool default_init() override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  std::vector<std::string> get_tags() const override { return {"cameras"}; }

  void build_passes();
  // Replaces the scene with the file's; false (and the scene emptied or kept) when it cannot be read.
  bool load_scene(const std::string& path);

  std::shared_ptr<render_pass_t> normal_pass;
  std::shared_ptr<render_pass_t> textured_pass;
  scene::scene_t meshes;
  std::string scene_file;
};

block_ptr_t make_mesh_block();
