# Images drawn by our own script, the message table compiled with windmc, and the
# resource script compiled with windres into one object linked into the DLL.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_res_dir ${CMAKE_BINARY_DIR}/resources)
set(_images ${_res_dir}/banner.bmp ${_res_dir}/help.bmp ${_res_dir}/tunelark48.ico ${_res_dir}/tunelark16.ico)

add_custom_command(
  OUTPUT ${_images}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make_images.py ${_res_dir}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make_images.py
  COMMENT "Drawing the banner and icons")

add_custom_command(
  OUTPUT ${_res_dir}/messages.rc ${_res_dir}/MSG00409.bin ${_res_dir}/messages.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_res_dir}
  COMMAND ${CMAKE_MC_COMPILER} -r ${_res_dir} -h ${_res_dir} ${CMAKE_SOURCE_DIR}/ui/messages.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/ui/messages.mc
  COMMENT "Compiling the message table")

file(GLOB _ui_rc_inputs ${CMAKE_SOURCE_DIR}/ui/*.rc ${CMAKE_SOURCE_DIR}/ui/*.h)
set(TUNELARK_RESOURCE_OBJECT ${CMAKE_BINARY_DIR}/Tunelark_res.o)
add_custom_command(
  OUTPUT ${TUNELARK_RESOURCE_OBJECT}
  COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${_res_dir} -I ${CMAKE_SOURCE_DIR}/ui
          ${CMAKE_SOURCE_DIR}/ui/Tunelark.rc ${TUNELARK_RESOURCE_OBJECT}
  DEPENDS ${_images} ${_res_dir}/messages.rc ${_res_dir}/MSG00409.bin ${_ui_rc_inputs}
  COMMENT "Compiling the resources")
set_source_files_properties(${TUNELARK_RESOURCE_OBJECT} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
