#pragma once
// Reader of the TOML-like text format into a value tree, or one error message.
#include <memory>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "engine/serial_value.h"

class filesystem_t;

namespace serial {

using parse_result_t = tl::expected<std::unique_ptr<value_t>, std::string>;

// Parses text held in memory; the source name appears only in error messages.
parse_result_t parse_text(std::string_view text, const std::string& source_name);

// Reads a file whose name ends in "toml" through the given file system and parses it.
parse_result_t load_toml(filesystem_t& filesystem, const std::string& path);

// The same through the process-wide file system (see set_default_filesystem).
parse_result_t load_toml(const std::string& path);

// The file system that the one-argument load_toml reads through; the host sets it.
void set_default_filesystem(filesystem_t* filesystem);
filesystem_t* default_filesystem();

}  // namespace serial
