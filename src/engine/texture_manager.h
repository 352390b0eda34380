#pragma once
// The texture manager: texture files, procedural textures and their reloads.

#include <string>

#include <tl/expected.hpp>

struct ID3D11Device;
class filesystem_t;

class texture_manager_t {
 public:
  virtual ~texture_manager_t() = default;
  virtual void reload_changed_files() = 0;
};

// Stand-in until textures can be created: holds no textures.
tl::expected<texture_manager_t*, std::string> create_texture_manager(ID3D11Device* device,
                                                                     filesystem_t* filesystem);
