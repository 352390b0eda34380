# The textures: made by ImageMagick into data/textures/ below PUMBLECRISP_CONTENT_GEN_DIR.
find_program(IMAGEMAGICK_CONVERT convert)
if(NOT IMAGEMAGICK_CONVERT)
  message(WARNING "ImageMagick's convert missing (scripts/install-deps): the archive carries no textures")
  return()
endif()

# A rough rock surface: embossed grey plasma coloured from dark to sandy brown. The seed and the
# stripped time chunks keep the file the same from build to build.
set(rock_texture ${PUMBLECRISP_CONTENT_GEN_DIR}/data/textures/rock.png)
add_custom_command(
  OUTPUT ${rock_texture}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PUMBLECRISP_CONTENT_GEN_DIR}/data/textures
  COMMAND ${IMAGEMAGICK_CONVERT} -seed 11 -size 256x256 plasma:grey50-grey50 -colorspace gray -blur 0x1
          ( +clone -emboss 1.5 ) -compose overlay -composite -normalize -colorspace sRGB -type TrueColor
          +level-colors "#1a120c,#c8a078" -define png:exclude-chunks=date,time -strip PNG24:${rock_texture}
  COMMENT "Making the rock texture"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${rock_texture})

# The GPU particles' sprite: a soft round spot, white in the middle and black at the rim.
set(particle_sprite ${PUMBLECRISP_CONTENT_GEN_DIR}/data/particle1.png)
add_custom_command(
  OUTPUT ${particle_sprite}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PUMBLECRISP_CONTENT_GEN_DIR}/data
  COMMAND ${IMAGEMAGICK_CONVERT} -size 64x64 radial-gradient:white-black -evaluate pow 2.2 -colorspace gray
          -type TrueColor -define png:exclude-chunks=date,time -strip PNG24:${particle_sprite}
  COMMENT "Making the particle sprite"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${particle_sprite})
