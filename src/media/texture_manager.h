#pragma once
// The texture manager gives shaders their textures: image files (PNG, JPEG, DDS) loaded once per
// path and reloaded in place when the file changes, textures from pixels in memory, plain 2D and
// 3D textures from raw data, a 2 × 2 default texture and the procedural textures "random-gauss",
// "random", "random-uniform" and "perlin-noise".
//
// The manager and the textures it holds live until the manager goes; its calls are serialised by
// its own lock, as shader compile tasks call it from worker threads.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/d3d11/d3d11.h"

class filesystem_t;

struct texture_t {
  texture_t() = default;
  texture_t(const texture_t&) = delete;
  texture_t& operator=(const texture_t&) = delete;

  // Members are released in reverse order: the views before the textures, the name last.
  std::string name;  // the file path, "memory" for textures from pixels, else empty
  com_ptr_t<ID3D11Texture2D> texture_2d;
  com_ptr_t<ID3D11Texture3D> texture_3d;
  // A DDS file's texture of whatever dimension (also in texture_2d or texture_3d when it is one).
  com_ptr_t<ID3D11Resource> resource;
  com_ptr_t<ID3D11ShaderResourceView> srv;  // what shaders bind
  com_ptr_t<ID3D11View> view;
  D3D11_TEXTURE2D_DESC desc{};
  D3D11_TEXTURE3D_DESC desc_3d{};  // 3D textures only
  D3D11_SHADER_RESOURCE_VIEW_DESC srv_desc{};
};

using texture_ptr_t = std::shared_ptr<texture_t>;

class texture_manager_t {
 public:
  virtual ~texture_manager_t() = default;
  // Once per engine tick, on the main thread: watches the files loaded since the last call and
  // loads changed files again into their texture objects.
  virtual void reload_changed_files() = 0;
  virtual texture_t* default_texture() = 0;
  // The texture of a path, loaded on first use; the manager keeps it.
  virtual tl::expected<texture_t*, std::string> load_texture(const std::string& path) = 0;
  // An 8-bit texture of 1, 2 or 4 channels named "memory"; the manager keeps it.
  virtual tl::expected<texture_t*, std::string> create_texture_from_pixels(const uint8_t* pixels, int width,
                                                                         int height, int channels) = 0;
  // A procedural texture by name, or null.
  virtual texture_t* find_texture(const std::string& name) = 0;
  virtual std::vector<std::string> list_texture_names() = 0;
  // Not registered: the caller owns the result. Without data the texture is dynamic, for
  // update_texture.
  virtual std::unique_ptr<texture_t> create_texture_2d(int width, int height, DXGI_FORMAT format,
                                                       const void* data) = 0;
  virtual HRESULT update_texture(texture_t& texture, const void* data) = 0;
  virtual std::unique_ptr<texture_t> create_texture_3d(int width, int height, int depth, DXGI_FORMAT format,
                                                       const void* data) = 0;
};

// Makes the manager with its default and procedural textures and makes it the engine's texture
// manager; the caller owns it.
tl::expected<texture_manager_t*, std::string> create_texture_manager(ID3D11Device* device,
                                                                     filesystem_t* filesystem);
