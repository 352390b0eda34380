#pragma once
// Text-format files read through the virtual file system and parsed into value trees.
#include <string>

#include "text/serial_reader.h"

class filesystem_t;

namespace serial {

// Reads a file whose name ends in "toml" through the given file system and parses it.
parse_result_t load_toml(filesystem_t& filesystem, const std::string& path);

// The same through the process-wide file system (see set_default_filesystem).
parse_result_t load_toml(const std::string& path);

// The file system that the one-argument load_toml reads through; the host sets it.
void set_default_filesystem(filesystem_t* filesystem);
filesystem_t* default_filesystem();

}  // namespace serial
