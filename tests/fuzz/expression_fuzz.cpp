// Parses arbitrary text as an expression and evaluates whatever tree comes out.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "variables/expression.h"
#include "variables/expression_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  parser::expression_ptr_t tree = parser::parse_expression(text);
  if (tree) {
    expression_context_t& context = global_expression_context();
    context.set_variable("t", 0.5f);
    volatile float value = tree->evaluate(context);
    (void)value;
  }
  return 0;
}
