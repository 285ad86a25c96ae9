# The card of zandrel-sim's embedded default device, built into
# ${ZANDREL_DEFAULT_DISK}: a UFS partition holding the gzipped demo kernel
# as kalmor.gz and a small miniroot.fs; and the files of its storage card in
# ${ZANDREL_DEFAULT_CARD}: kalmor.gz, kalmor (the plain ELF) and miniroot.fs.
# Included where zandrel-sim is defined.

# The kernel that becomes kalmor.gz: the name of a kernel of kernels/
# (${ZANDREL_KERNEL_DIR}/<name>.elf).
if(TARGET kernel_probe)
  set(zandrel_demo_default probe)
else()
  set(zandrel_demo_default three_segments)
endif()
set(ZANDREL_DEMO_KERNEL ${zandrel_demo_default} CACHE STRING "Kernel of kernels/ that the default device boots")

set(ZANDREL_DEFAULT_DISK ${CMAKE_BINARY_DIR}/default-device/disk1.img)
set(ZANDREL_DEFAULT_CARD ${CMAKE_BINARY_DIR}/default-device/card)
# The folder the disk's file system is made from (what --verify compares with).
set(ZANDREL_DEFAULT_DISK_FILES ${CMAKE_BINARY_DIR}/default-device/work/root)
set(zandrel_demo_elf ${ZANDREL_KERNEL_DIR}/${ZANDREL_DEMO_KERNEL}.elf)
set(zandrel_disk_script ${CMAKE_SOURCE_DIR}/sim/default_device/make_disk.sh)
add_custom_command(
  OUTPUT ${ZANDREL_DEFAULT_DISK}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/default-device
  COMMAND sh ${zandrel_disk_script} ${ZANDREL_DEFAULT_DISK} ${zandrel_demo_elf}
          ${CMAKE_BINARY_DIR}/default-device/work ${ZANDREL_DEFAULT_CARD}
  DEPENDS ${zandrel_disk_script} ${zandrel_demo_elf}
  # Kept for the fuzzers' seeds.
  BYPRODUCTS ${CMAKE_BINARY_DIR}/default-device/work/fs.img ${CMAKE_BINARY_DIR}/default-device/work/label-seed.bin
             ${CMAKE_BINARY_DIR}/default-device/work/root/miniroot.fs ${ZANDREL_DEFAULT_CARD}/kalmor.gz
             ${ZANDREL_DEFAULT_CARD}/kalmor ${ZANDREL_DEFAULT_CARD}/miniroot.fs
  COMMENT "Building the default device's disk with ${ZANDREL_DEMO_KERNEL}.elf as kalmor.gz"
  VERBATIM)
add_custom_target(default_device_disk ALL DEPENDS ${ZANDREL_DEFAULT_DISK})
if(TARGET kernel_${ZANDREL_DEMO_KERNEL})
  add_dependencies(default_device_disk kernel_${ZANDREL_DEMO_KERNEL})
endif()
