#pragma once
// Named variables and functions that expressions are evaluated against, and the two
// process-wide contexts (animation channels and the L-system camera scripts).

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

// A named function of floats; extra arguments are ignored and missing ones count as 0.
class function_base_t {
 public:
  virtual ~function_base_t() = default;
  virtual float call(std::span<const float> arguments) const = 0;
};

// Lookups by string_view without building a key string.
struct expression_name_hash_t {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct expression_context_t {
  std::unordered_map<std::string, float, expression_name_hash_t, std::equal_to<>> variables;
  // Plain references; the function objects live until the process ends.
  std::unordered_map<std::string, const function_base_t*, expression_name_hash_t, std::equal_to<>> functions;

  // Creates the entry when missing.
  void set_variable(std::string_view name, float value);
  // Null when absent; lookups never create entries.
  const float* find_variable(std::string_view name) const;
  const function_base_t* find_function(std::string_view name) const;
};

// No variables and no functions.
expression_context_t construct_expression_context();

// Used by the expression channels of animated variables; its only variable is "t".
expression_context_t& global_expression_context();
// Used by the L-system camera scripts; empty until register_lsystem_math_functions.
expression_context_t& lsystem_expression_context();

// Stores the twelve built-in functions under their names, replacing entries of the same name.
void register_math_functions(expression_context_t& context);
void register_math_functions();
void register_lsystem_math_functions();
