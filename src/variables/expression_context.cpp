#include "variables/expression_context.h"

void expression_context_t::set_variable(std::string_view name, float value) {
  auto it = variables.find(name);
  if (it != variables.end()) {
    it->second = value;
  } else {
    variables.emplace(std::string(name), value);
  }
}

const float* expression_context_t::find_variable(std::string_view name) const {
  auto it = variables.find(name);
  return it == variables.end() ? nullptr : &it->second;
}

const function_base_t* expression_context_t::find_function(std::string_view name) const {
  auto it = functions.find(name);
  return it == functions.end() ? nullptr : it->second;
}

expression_context_t construct_expression_context() { return expression_context_t{}; }

// Both contexts outlive every user, so they are never destroyed.
expression_context_t& global_expression_context() {
  static expression_context_t* context = [] {
    auto* created = new expression_context_t(construct_expression_context());
    register_math_functions(*created);
    return created;
  }();
  return *context;
}

expression_context_t& lsystem_expression_context() {
  static expression_context_t* context = new expression_context_t(construct_expression_context());
  return *context;
}
