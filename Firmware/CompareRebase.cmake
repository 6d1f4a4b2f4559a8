# cmake -DTOOL=flash-volume -DIMAGE=X.efi -DBASE=ADDRESS -DLINKED=Y.efi -P CompareRebase.cmake
# Fails unless X.efi rebased to ADDRESS is byte for byte Y.efi, the same
# objects linked at ADDRESS.
get_filename_component(rebased ${LINKED} DIRECTORY)
set(rebased ${rebased}/rebased-by-tool.efi)
execute_process(COMMAND ${TOOL} rebase --base ${BASE} -o ${rebased} ${IMAGE} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "flash-volume rebase failed (${status})")
endif()
file(SHA256 ${rebased} rebased_hash)
file(SHA256 ${LINKED} linked_hash)
file(SHA256 ${IMAGE} image_hash)
if(image_hash STREQUAL linked_hash)
  message(FATAL_ERROR "${LINKED} is not linked at ${BASE}: it equals the image at base 0")
endif()
if(NOT rebased_hash STREQUAL linked_hash)
  message(FATAL_ERROR "${IMAGE} rebased to ${BASE} differs from ${LINKED}")
endif()
message(STATUS "rebased to ${BASE}: identical to the image linked there")
