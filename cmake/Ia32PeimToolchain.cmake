# Toolchain of the firmware build: IA32 PE32 PEIM images, made by clang++
# for the i686 MSVC ABI and linked by lld-link. Freestanding: no C or C++
# runtime, no system headers, no import libraries.
#
# The warning and code-generation flags of module code live in PeiModuleFlags
# (cmake/PeiBuild.cmake); this file only holds what every compile and link of
# the firmware build needs, including CMake's own compiler checks.

set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR i686)

find_program(PEI_CLANGXX NAMES clang++ clang++-14 REQUIRED)
find_program(PEI_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_program(PEI_LLVM_AR NAMES llvm-ar llvm-ar-14 REQUIRED)
find_program(PEI_LLVM_RANLIB NAMES llvm-ranlib llvm-ranlib-14 REQUIRED)

set(CMAKE_CXX_COMPILER ${PEI_CLANGXX})
set(CMAKE_AR ${PEI_LLVM_AR} CACHE FILEPATH "Archiver for the firmware build")
set(CMAKE_RANLIB ${PEI_LLVM_RANLIB} CACHE FILEPATH "Archive indexer for the firmware build")
set(CMAKE_LINKER ${PEI_LLD_LINK} CACHE FILEPATH "PE/COFF linker for the firmware build")

# The target is given as a flag: CMake passes CMAKE_CXX_COMPILER_TARGET to
# clang only when it does not simulate MSVC, and this target does. No host or
# MSVC headers may ever be found, and no compile may assume a hosted
# environment; wchar_t is 16 bits as UEFI has it. Zero-initialised globals
# get real zero bytes in .data instead of a .bss without file data: an image
# executing in place has no loader to clear memory for it, and a section
# without file data would shift every later section's file offset away from
# its RVA.
set(CMAKE_CXX_FLAGS_INIT "--target=i686-pc-windows-msvc -ffreestanding -nostdlibinc -fshort-wchar -fno-zero-initialized-in-bss")

# clang simulating MSVC gets none of CMake's GNU-style settings, among them
# the dependency files: without these, a changed header rebuilds nothing.
set(CMAKE_DEPFILE_FLAGS_CXX "-MD -MT <DEP_TARGET> -MF <DEP_FILE>")
set(CMAKE_CXX_DEPFILE_FORMAT gcc)

# There is nothing to link a test program against: check the compiler by
# building a static library.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Programs (the LLVM tools, python3) come from the host; libraries and
# headers for the target never do.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# A PEIM image: a relocatable PE32 EFI boot service driver whose file offsets
# equal its RVAs (execute in place), with constants merged into .text, no
# default libraries, no timestamp (byte-identical rebuilds).
#   /dll        keeps the base relocations (.reloc); /fixed would drop them.
#   /implib:    /dll always writes an import library; it goes to the
#               target's object directory, where nothing uses it.
#   /map        NAME.map beside each image: where the bytes go, and the
#               functions the stack report names.
#   -nozero-initialized-in-bss
#               code is generated at link time (LTO): the compile flag
#               -fno-zero-initialized-in-bss must be given again there.
# The target adds /entry:_ModuleEntryPoint through its link options.
set(PEI_IMAGE_LINK_FLAGS
  "/nologo /nodefaultlib /machine:x86 /dll /subsystem:efi_boot_service_driver"
  "/base:0 /align:32 /filealign:32 /opt:ref /opt:icf /safeseh:no /driver"
  "/timestamp:0 /merge:.rdata=.text /map /mllvm:-nozero-initialized-in-bss")
string(JOIN " " PEI_IMAGE_LINK_FLAGS ${PEI_IMAGE_LINK_FLAGS})
set(CMAKE_CXX_LINK_EXECUTABLE
  "<CMAKE_LINKER> ${PEI_IMAGE_LINK_FLAGS} <LINK_FLAGS> /out:<TARGET> /implib:<OBJECT_DIR>/<TARGET_NAME>.lib <OBJECTS> <LINK_LIBRARIES>")
