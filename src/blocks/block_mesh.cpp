#include "blocks/block_mesh.h"

#include <algorithm>
#include <utility>

#include "blocks/gltf_meshes.h"
#include "blocks/shader_constants.h"
#include "engine/block_factory.h"
#include "files/filesystem.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/input_layout.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "support/log.h"
#include "support/systems.h"

namespace {

constexpr const char* shader_file = "shaders/mesh.hlsl";

std::unique_ptr<scene::mesh_t> make_scene_mesh(const gltf_mesh_data_t& data) {
  auto mesh = std::make_unique<scene::mesh_t>();
  mesh->name = data.name;
  mesh->flags = data.flags;
  mesh->vertex_count = data.vertex_count;
  mesh->index_count = uint32_t(data.indices.size());
  mesh->transform = data.transform;
  if (graphics_resources_t* resources = g_systems ? S(resources) : nullptr) {
    if (data.vertex_count > 0 && data.stride > 0)
      mesh->vertex_buffer = resources->create_vertex_buffer(int(data.vertex_count), int(data.stride * 4),
                                                            data.vertices.data(), false);
    if (!data.indices.empty())
      mesh->index_buffer = resources->create_index_buffer(int(data.indices.size()), DXGI_FORMAT_R32_UINT,
                                                          data.indices.data(), false);
  }
  return mesh;
}

}  // namespace

block_mesh_t::block_mesh_t()
    : block_base_t("mesh"), normal_pass(make_render_pass()), textured_pass(make_render_pass()) {}

block_mesh_t::~block_mesh_t() = default;

bool block_mesh_t::default_init() {
  if (!block_base_t::default_init()) return false;
  build_passes();
  return true;
}

void block_mesh_t::build_passes() {
  normal_pass->load_vertex_shader_with_layout(shader_file, "VsMeshPN", {VF_POS, VF_NORMAL});
  normal_pass->load_pixel_shader(shader_file, "PsMesh");
  normal_pass->set_states(2, 1, 1);
  textured_pass->load_vertex_shader_with_layout(shader_file, "VsMeshPNT", {VF_POS, VF_NORMAL, VF_TEX2});
  textured_pass->load_pixel_shader(shader_file, "PsMesh");
  textured_pass->set_states(2, 1, 1);
  textured_pass->create_samplers_from_shader();
}

bool block_mesh_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  const serial::value_t& scene_table = table.get("scene", serial::value_kind_t::table);
  if (!scene_table.valid) {
    LOG_WRN("Unable to find scene object");
    return false;
  }
  scene_file = scene_table.get_string("filename", "");
  if (!load_scene(scene_file)) {
    LOG_WRN("Error loading scene: %s", scene_file.c_str());
    return false;
  }
  build_passes();
  return true;
}

void block_mesh_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  serial::value_t* scene_table = &const_cast<serial::value_t&>(table.get("scene", serial::value_kind_t::table));
  if (!scene_table->valid) scene_table = table.add("scene", serial::value_kind_t::table);
  scene_table->add_string("filename", scene_file);
}

bool block_mesh_t::load_scene(const std::string& path) {
  byte_vector_t bytes;
  filesystem_t* files = g_systems ? S(filesystem) : nullptr;
  if (!files || !files->read_file(path, bytes)) {
    LOG_WRN("error loading mesh file: %s", path.c_str());
    return false;
  }
  // External buffers sit beside the glTF file.
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  auto read_beside = [&](const std::string& uri, std::vector<uint8_t>& out) {
    return files->read_file(folder + uri, out);
  };
  auto read = read_gltf_meshes(std::span<const uint8_t>(bytes.data(), bytes.size()), read_beside);
  if (!read && read.error().error == gltf_error_t::unreadable) {
    LOG_WRN("Unable to read glTF file %s: %s", path.c_str(), read.error().problem.c_str());
    return false;
  }
  meshes.clear();
  if (!read) {
    LOG_INF("file has no scenes: %s", path.c_str());
    return false;
  }
  std::vector<scene::mesh_t*> made;
  std::vector<std::pair<int, scene::mesh_t*>> draws;
  for (const gltf_mesh_data_t& data : *read) {
    auto mesh = make_scene_mesh(data);
    made.push_back(mesh.get());
    for (int slot : data.draw_slots) draws.emplace_back(slot, mesh.get());
    meshes.nodes.push_back(std::move(mesh));
  }
  // In the order the scene lists its nodes, each as often as it is listed.
  std::sort(draws.begin(), draws.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [slot, mesh] : draws) meshes.draw_list.push_back(mesh);
  for (size_t i = 0; i < read->size(); ++i) {
    const gltf_mesh_data_t& data = (*read)[i];
    if (data.parent >= 0) made[i]->parent = made[size_t(data.parent)];
    for (int child : data.children) made[i]->children.push_back(made[size_t(child)]);
  }
  return true;
}

void block_mesh_t::execute(const render_context_t& context) {
  block_camera_t* camera = get_active_camera();
  if (!camera) return;
  // The camera where it is now: its matrices alone would hold an animated camera at its start
  // while the production plays.
  const float t = context.local_time;
  const float3 eye = camera->get_pos(t);
  float aspect = 16.0f / 9.0f;
  if (!context.outputs.empty() && context.outputs[0] && context.outputs[0]->viewport.Height > 0.0f)
    aspect = context.outputs[0]->viewport.Width / context.outputs[0]->viewport.Height;
  const float4x4 view = look_at_lh(eye, vec3_add(eye, camera->get_dir(t)), camera->get_up(t));
  const float4x4 projection =
      perspective_fov_lh(camera->get_fov(t), aspect, camera->get_near_plane(t), camera->get_far_plane(t));
  const float4x4 view_projection = mat4_transpose(mat4_multiply(view, projection));
  for (scene::mesh_t* mesh : meshes.draw_list) {
    render_pass_t* pass = mesh->flags == 3 ? normal_pass.get() : mesh->flags == 7 ? textured_pass.get() : nullptr;
    if (!pass || !mesh->vertex_buffer || !mesh->index_buffer) continue;
    S(runtime)->set_vertex_buffer(mesh->vertex_buffer.get());
    S(runtime)->set_index_buffer(mesh->index_buffer.get());
    set_shader_constant(pass->vs.get(), "cbMain", "objWorld", mat4_identity());
    set_shader_constant(pass->vs.get(), "cbMain", "viewProj", view_projection);
    set_shader_constant(pass->ps.get(), "cbMain", "cameraPos", eye);
    pass->draw_indexed(mesh->index_count, 0);
  }
}

block_ptr_t make_mesh_block() { return std::make_shared<block_mesh_t>(); }

namespace {
const block_class_registrar_t registrar{"mesh", make_mesh_block};
}  // namespace
