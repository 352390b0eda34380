// Reads arbitrary text as a variable table, then evaluates, packs, clones and saves the variable.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "variables/range_value.h"
#include "text/serial_reader.h"
#include "variables/serializer_aux.h"
#include "support/log.h"

namespace {

// The loaders warn on bad input; the fuzzer only cares that they stay safe.
struct quiet_logger_t {
  quiet_logger_t() { logger::set_current_logger(&logger); }
  logger::logger_t logger{-1};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static quiet_logger_t quiet;
  auto parsed = serial::parse_text(std::string_view(reinterpret_cast<const char*>(data), size), "");
  if (!parsed) return 0;
  const serial::value_t& root = **parsed;

  variable_ptr_t variable = make_empty_variable();
  load_variable(root, *variable);
  variable_ptr_t nested = load_variable_at(root, "v");
  variable_ptr_t* members[] = {&nested};
  load_variables(root, members);

  uint8_t packed[64];
  for (const variable_ptr_t& v : {variable, nested}) {
    for (float t : {-1.0f, 0.0f, 0.5f, 3.0f}) evaluate_variable_at(*v, t);
    pack_variable_value(*v, packed);
    variable_ptr_t clone = clone_variable(*v);
    evaluate_variable_at(*clone, 1.5f);
    serial::value_t saved;
    save_variable(saved, *clone);
  }
  range_value_t<int> count("count", 1);
  range_value_t<float> gain("gain", 1.0f);
  count.load(root);
  gain.load(root);
  return 0;
}
