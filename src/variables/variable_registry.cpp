#include "variables/variable_registry.h"

namespace {

void flatten_node(const variable_registry_node_t& node, std::vector<registered_variable_t>& out) {
  out.insert(out.end(), node.entries.begin(), node.entries.end());
  for (const auto& child : node.children) flatten_node(*child, out);
}

}  // namespace

variable_registry_t::variable_registry_t(std::string root_name, paths_t paths) : paths_(paths) {
  root.name = std::move(root_name);
}

void variable_registry_t::clear() {
  root.entries.clear();
  root.children.clear();
  path_stack.clear();
}

std::string variable_registry_t::joined_path() const {
  std::string joined;
  for (size_t i = 0; i < path_stack.size(); ++i) {
    if (i > 0) joined += '/';
    joined += path_stack[i];
  }
  return joined;
}

void variable_registry_t::add(variable_t* variable, int32_t flags) {
  if (paths_ == without_paths) {
    root.entries.push_back({{}, variable, flags});
    return;
  }
  std::string prefix = path_stack.empty() ? "/" : joined_path() + "/";
  find_or_create_node(prefix).entries.push_back({prefix + variable->name, variable, flags});
}

void variable_registry_t::add_with_prefix(const std::string& prefix, variable_t* variable, int32_t flags) {
  if (paths_ == without_paths) {
    root.entries.push_back({{}, variable, flags});
    return;
  }
  std::string directory = joined_path();
  if (!directory.empty()) directory += '/';
  directory += prefix + "/";
  find_or_create_node(directory).entries.push_back({directory + variable->name, variable, flags});
}

variable_registry_node_t& variable_registry_t::find_or_create_node(const std::string& path) {
  variable_registry_node_t* node = &root;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(begin, end - begin);
    begin = end + 1;
    if (component.empty()) continue;
    variable_registry_node_t* next = nullptr;
    for (const auto& child : node->children) {
      if (child->name == component) next = child.get();
    }
    if (!next) {
      node->children.push_back(std::make_unique<variable_registry_node_t>());
      next = node->children.back().get();
      next->name = component;
    }
    node = next;
  }
  return *node;
}

void variable_registry_t::flatten(std::vector<registered_variable_t>& out) const { flatten_node(root, out); }
