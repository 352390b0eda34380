#pragma once
// What the SPIR-V does not keep about an HLSL source: the declared kind of each resource (an append
// buffer and a counted RWStructuredBuffer compile alike), bool members of cbuffers (stored as uint),
// and where each cbuffer and member is declared, for error messages. Read from the preprocessed text,
// whose #line directives name the file and line of every declaration.

#include <map>
#include <string>

struct hlsl_location_t {
  std::string file;
  int line = 0;
};

struct hlsl_declaration_t {
  std::string type;  // the type as written, e.g. "AppendStructuredBuffer", "SamplerComparisonState", "bool3"
  hlsl_location_t where;
};

struct hlsl_declarations_t {
  std::map<std::string, hlsl_declaration_t> resources;  // by resource name
  std::map<std::string, hlsl_location_t> cbuffers;      // by cbuffer name
  // by cbuffer name, then member name
  std::map<std::string, std::map<std::string, hlsl_declaration_t>> members;

  hlsl_location_t locate(const std::string& cbuffer, const std::string& member) const;
};

// Parses glslangValidator -E output; default_file names lines before the first #line directive.
hlsl_declarations_t scan_preprocessed_hlsl(const std::string& text, const std::string& default_file);
