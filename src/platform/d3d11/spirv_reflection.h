#pragma once
// SPIR-V reflection queries shared by the device's translation and the content build's reflection
// writer, so both read a shader's resources the same way.

#include <spirv_cross/spirv_cross_c.h>

#include <cstddef>
#include <cstdint>

// The reflected resources of one kind; count 0 when there are none.
inline const spvc_reflected_resource* spirv_resource_list(spvc_resources resources, spvc_resource_type type,
                                                          size_t& count) {
  const spvc_reflected_resource* list = nullptr;
  count = 0;
  if (spvc_resources_get_resource_list_for_type(resources, type, &list, &count) != SPVC_SUCCESS) count = 0;
  return list;
}

// D3D_SRV_DIMENSION of an image type: 1 buffer, 2 1D, 3 1D array, 4 2D, 5 2D array, 6 2D MS,
// 7 2D MS array, 8 3D, 9 cube, 10 cube array; 0 for anything else.
inline uint32_t spirv_srv_dimension(spvc_type type) {
  const bool arrayed = spvc_type_get_image_arrayed(type);
  switch (spvc_type_get_image_dimension(type)) {
    case SpvDim1D:
      return arrayed ? 3 : 2;
    case SpvDim2D:
      if (spvc_type_get_image_multisampled(type)) return arrayed ? 7 : 6;
      return arrayed ? 5 : 4;
    case SpvDim3D:
      return 8;
    case SpvDimCube:
      return arrayed ? 10 : 9;
    case SpvDimBuffer:
      return 1;
    default:
      return 0;
  }
}

// D3D_REGISTER_COMPONENT_TYPE of a scalar or vector type: 1 uint32, 2 sint32, 3 float32, 0 unknown.
inline uint32_t spirv_component_type(spvc_type type) {
  switch (spvc_type_get_basetype(type)) {
    case SPVC_BASETYPE_UINT32:
    case SPVC_BASETYPE_BOOLEAN:
      return 1;
    case SPVC_BASETYPE_INT32:
      return 2;
    case SPVC_BASETYPE_FP32:
      return 3;
    default:
      return 0;
  }
}
