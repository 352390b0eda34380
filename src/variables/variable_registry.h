#pragma once
// The variables a block exposes (its own, its cameras', its shaders' constants), as a tree of
// nodes under the block's name. Callers push path components to add one level deeper.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "variables/variable.h"

// Entries with this flag are animated by block_base_t::update_variables.
constexpr int32_t REGISTERED_EVALUATED = 2;

struct registered_variable_t {
  std::string path;
  variable_t* variable = nullptr;  // not owned
  int32_t flags = 0;
};

struct variable_registry_node_t {
  std::string name;
  std::vector<registered_variable_t> entries;
  std::vector<std::unique_ptr<variable_registry_node_t>> children;  // in creation order
};

class variable_registry_t {
 public:
  // A registry without paths keeps every entry in the root, in the order added, with an empty
  // path: what animating the variables needs, refilled each frame without building strings.
  enum paths_t { with_paths, without_paths };

  explicit variable_registry_t(std::string root_name, paths_t paths = with_paths);

  void add(variable_t* variable, int32_t flags);
  void add_with_prefix(const std::string& prefix, variable_t* variable, int32_t flags);
  // Empty components are skipped, so "/" is the root.
  variable_registry_node_t& find_or_create_node(const std::string& path);
  // Each node's entries in insertion order, then its children's, depth first.
  void flatten(std::vector<registered_variable_t>& out) const;
  // Empties the tree; the storage stays.
  void clear();

  variable_registry_node_t root;
  std::vector<std::string> path_stack;

 private:
  std::string joined_path() const;

  paths_t paths_ = with_paths;
};
