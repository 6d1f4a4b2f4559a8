# How PEI libraries and modules are built, in both builds:
#   hosted   - x86-64, linked against the simulated board; each module becomes
#              one partially linked image whose only global symbol is its entry.
#   firmware - IA32 PE32 PEIM images (.efi), freestanding.
# A module or library folder only calls pei_library() / pei_module().

set(PEI_INCLUDE_DIRS ${PROJECT_SOURCE_DIR}/PiBase/Include ${PROJECT_SOURCE_DIR}/Include)

# Flags for code that goes into a firmware image, in either build.
add_library(PeiModuleFlags INTERFACE)
target_include_directories(PeiModuleFlags INTERFACE ${PEI_INCLUDE_DIRS})
target_compile_options(PeiModuleFlags INTERFACE
  -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-threadsafe-statics -funsigned-char
  -ffunction-sections -fdata-sections -fno-strict-aliasing
  # __FILE__ in assertions names the file from the source root, so logs and
  # images are the same whatever folder the tree was checked out in.
  -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
if(PEI_FIRMWARE)
  # -flto: each image is optimised as a whole when it is linked, so library
  # code the module does not need, and calls that only pass values through,
  # cost no flash.
  target_compile_options(PeiModuleFlags INTERFACE -ffreestanding -fno-builtin -nostdlib -nostdlibinc
    -fno-stack-protector -mno-stack-arg-probe -march=i586 -mno-sse -mno-mmx -mno-implicit-float
    -fno-asynchronous-unwind-tables -Werror=global-constructors -Oz -flto)
else()
  # Unwind tables let the board end a module's run (a dead loop) by unwinding.
  target_compile_options(PeiModuleFlags INTERFACE -funwind-tables -fvisibility=hidden)
  # GCC's unique symbols would escape an image; clang (the fuzz build) makes none.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(PeiModuleFlags INTERFACE -fno-gnu-unique)
  endif()
endif()

# pei_library(NAME SOURCES... [LIBS lib...])
# A library instance. LIBS are the library classes (or instances) it needs.
function(pei_library NAME)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS")
  add_library(${NAME} STATIC ${ARG_SOURCES})
  # The firmware flags stay with the library; its users (tests) get only the headers.
  target_link_libraries(${NAME} PRIVATE PeiModuleFlags PUBLIC ${ARG_LIBS})
  target_include_directories(${NAME} PUBLIC ${PEI_INCLUDE_DIRS})
  set_property(TARGET ${NAME} PROPERTY PEI_LIBS ${ARG_LIBS})
endfunction()

# pei_library_class(CLASS FIRMWARE instance HOSTED instance)
# Chooses, at link time, the instance of a class that touches hardware.
function(pei_library_class CLASS)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "FIRMWARE;HOSTED" "")
  add_library(${CLASS} INTERFACE)
  if(PEI_FIRMWARE)
    set(instance ${ARG_FIRMWARE})
  else()
    set(instance ${ARG_HOSTED})
  endif()
  target_link_libraries(${CLASS} INTERFACE ${instance})
  # A hosted instance is part of the board, which resolves it at the final
  # link; only firmware instances go into the image itself.
  if(PEI_FIRMWARE)
    set_property(TARGET ${CLASS} PROPERTY PEI_LIBS ${instance})
  endif()
endfunction()

# Every static library a module image is built from, dependencies included.
function(_pei_collect_libs OUT)
  set(seen "")
  set(queue ${ARGN})
  while(queue)
    list(POP_FRONT queue lib)
    if(lib IN_LIST seen OR NOT TARGET ${lib})
      continue()
    endif()
    list(APPEND seen ${lib})
    get_property(deps TARGET ${lib} PROPERTY PEI_LIBS)
    list(APPEND queue ${deps})
  endwhile()
  set(archives "")
  foreach(lib IN LISTS seen)
    get_target_property(type ${lib} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      list(APPEND archives ${lib})
    endif()
  endforeach()
  set(${OUT} ${archives} PARENT_SCOPE)
endfunction()

# pei_module(NAME SOURCES... LIBS lib... FILE_GUID guid [DEPEX ppi...] [COMPANION])
# A PEIM whose entry point is _ModuleEntryPoint. FILE_GUID names its file in
# a flash volume; DEPEX lists the PPIs (GUID names of the headers) its entry
# needs before it can do its work, all of them; none means TRUE.
#   firmware: NAME.efi
#   hosted:   NAME (a static library of the module's own code, for tests that
#             call its routines) and NAMEImage (the isolated image the board
#             dispatches; its entry is NAME_ModuleEntryPoint).
# COMPANION: a PEIM that supplies, on a real platform, what the board would
# (firmware build only); its images are listed apart from the modules'.
function(pei_module NAME)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "COMPANION" "FILE_GUID" "SOURCES;LIBS;DEPEX")
  string(REPEAT "[0-9A-F]" 4 hex4)
  if(NOT ARG_FILE_GUID MATCHES "^${hex4}${hex4}-${hex4}-${hex4}-${hex4}-${hex4}${hex4}${hex4}$")
    message(FATAL_ERROR "pei_module(${NAME}): FILE_GUID must be an upper-case GUID, not '${ARG_FILE_GUID}'")
  endif()
  set_property(GLOBAL PROPERTY PEI_MODULE_${NAME}_FILE_GUID ${ARG_FILE_GUID})
  set_property(GLOBAL PROPERTY PEI_MODULE_${NAME}_DEPEX ${ARG_DEPEX})
  if(PEI_FIRMWARE)
    add_executable(${NAME} ${ARG_SOURCES})
    target_link_libraries(${NAME} PRIVATE PeiModuleFlags ${ARG_LIBS} CompilerIntrinsicsLib)
    set_target_properties(${NAME} PROPERTIES SUFFIX ".efi")
    target_link_options(${NAME} PRIVATE /entry:_ModuleEntryPoint)
    if(ARG_COMPANION)
      set_property(GLOBAL APPEND PROPERTY PEI_COMPANION_IMAGES ${NAME})
    else()
      set_property(GLOBAL APPEND PROPERTY PEI_FIRMWARE_IMAGES ${NAME})
    endif()
    return()
  endif()
  if(ARG_COMPANION)
    return()  # runs on QEMU only, where the simulated board has services of its own
  endif()

  pei_library(${NAME} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS})
  _pei_collect_libs(archives ${ARG_LIBS})
  set(archive_files "")
  foreach(lib IN LISTS archives)
    list(APPEND archive_files $<TARGET_FILE:${lib}>)
  endforeach()
  set(partial ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.partial.o)
  set(image ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.image.o)
  add_custom_command(
    OUTPUT ${image}
    COMMAND ${CMAKE_LINKER} -r -T ${PROJECT_SOURCE_DIR}/cmake/HostedImage.ld -o ${partial}
            --whole-archive $<TARGET_FILE:${NAME}> --no-whole-archive
            --start-group ${archive_files} --end-group
    # Only the entry and the data bounds stay global; COMDAT groups go too,
    # or the final link would fold the program's own copy of an inline
    # definition into the image's now-local one.
    COMMAND ${CMAKE_OBJCOPY} -R .group
            --keep-global-symbol=${NAME}_ModuleEntryPoint
            --keep-global-symbol=${NAME}_DataStart --keep-global-symbol=${NAME}_DataEnd
            --redefine-sym _ModuleEntryPoint=${NAME}_ModuleEntryPoint
            --redefine-sym PEIM_DataStart=${NAME}_DataStart --redefine-sym PEIM_DataEnd=${NAME}_DataEnd
            ${partial} ${image}
    DEPENDS ${NAME} ${archives} ${PROJECT_SOURCE_DIR}/cmake/HostedImage.ld
    COMMENT "Linking hosted PEIM image ${NAME}"
    VERBATIM COMMAND_EXPAND_LISTS)
  add_custom_target(${NAME}ImageBuild DEPENDS ${image})
  add_library(${NAME}Image INTERFACE)
  add_dependencies(${NAME}Image ${NAME}ImageBuild)
  target_link_libraries(${NAME}Image INTERFACE ${image})
  set_property(TARGET ${NAME}Image PROPERTY INTERFACE_LINK_DEPENDS ${image})
  set_property(GLOBAL APPEND PROPERTY PEI_HOSTED_IMAGES ${NAME})
endfunction()

# pei_test(NAME SOURCES... LIBS lib...)  (hosted only)
function(pei_test NAME)
  if(PEI_FIRMWARE)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS")
  add_executable(${NAME} ${ARG_SOURCES})
  target_link_libraries(${NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${NAME} DISCOVERY_TIMEOUT 60)
endfunction()

# pei_hosted_images(): the table of every hosted module image (BoardImages),
# called once after all modules are declared.
function(pei_hosted_images)
  get_property(images GLOBAL PROPERTY PEI_HOSTED_IMAGES)
  set(declarations "")
  set(entries "")
  foreach(image IN LISTS images)
    string(APPEND declarations
      "extern \"C\" EFI_STATUS EFIAPI ${image}_ModuleEntryPoint(EFI_PEI_FILE_HANDLE, CONST EFI_PEI_SERVICES **);\n"
      "extern \"C\" unsigned char ${image}_DataStart[], ${image}_DataEnd[];\n"
      "const std::vector<unsigned char> k${image}Data = SnapshotImageData(${image}_DataStart, ${image}_DataEnd);\n")
    string(APPEND entries "  {\"${image}\", ${image}_ModuleEntryPoint, ${image}_DataStart, ${image}_DataEnd, &k${image}Data},\n")
  endforeach()
  set(source ${CMAKE_BINARY_DIR}/BoardImages.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT [=[
// Generated: the hosted module images of this build.
#include "Board/ModuleImage.h"

namespace board {
namespace {
@declarations@
const ModuleImage kImages[] = {
@entries@};
}  // namespace

std::span<const ModuleImage> HostedImages() { return kImages; }

const ModuleImage* FindHostedImage(std::string_view name) {
  for (const auto& image : kImages)
    if (image.name == name) return &image;
  return nullptr;
}
}  // namespace board
]=] @ONLY)
  add_library(BoardImages STATIC ${source})
  target_link_libraries(BoardImages PUBLIC Board)
  foreach(image IN LISTS images)
    target_link_libraries(BoardImages PUBLIC ${image}Image)
  endforeach()
endfunction()
