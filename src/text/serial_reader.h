#pragma once
// Reader of the TOML-like text format into a value tree, or one error message.
#include <memory>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "text/serial_value.h"

namespace serial {

using parse_result_t = tl::expected<std::unique_ptr<value_t>, std::string>;

// Parses text held in memory; the source name appears only in error messages.
parse_result_t parse_text(std::string_view text, const std::string& source_name);

}  // namespace serial
