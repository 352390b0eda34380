#pragma once
// Writes the player's reflection blob for one compiled stage: the Direct3D 11 shader description,
// creator, input and output signatures, bound resources and constant buffers with their variables and
// types, filled from the SPIR-V as the D3D reflection would report them. Constant buffers whose layout
// GL cannot reproduce are refused with the file and line of the offending member.

#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "hlsl_declarations.h"
#include "platform/d3d11/spirv_translate.h"

tl::expected<std::vector<uint8_t>, std::string> write_reflection(const std::vector<uint32_t>& spirv,
                                                                 spirv_stage_t stage,
                                                                 const hlsl_declarations_t& declarations);
