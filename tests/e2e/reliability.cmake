# Fixtures of the reliability tests: a small tmpfs for the disk-full tests,
# mounted before them and unmounted after. Without root the mount script
# only warns, and those tests skip.
set(ORVANTA_SMALL_DISK ${CMAKE_BINARY_DIR}/reliability-small-disk)
set(ORVANTA_TMPFS_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/tmpfs-disk.sh)

add_test(NAME e2e_reliability_small_disk_mount
         COMMAND bash ${ORVANTA_TMPFS_SCRIPT} mount ${ORVANTA_SMALL_DISK} 8m)
add_test(NAME e2e_reliability_small_disk_umount
         COMMAND bash ${ORVANTA_TMPFS_SCRIPT} umount ${ORVANTA_SMALL_DISK})
set_tests_properties(e2e_reliability_small_disk_mount PROPERTIES
  LABELS e2e
  FIXTURES_SETUP reliability_small_disk
  TIMEOUT 30)
set_tests_properties(e2e_reliability_small_disk_umount PROPERTIES
  LABELS e2e
  FIXTURES_CLEANUP reliability_small_disk
  TIMEOUT 30)

if(TEST e2e_reliability_disk_full)
  set_tests_properties(e2e_reliability_disk_full PROPERTIES
    FIXTURES_REQUIRED reliability_small_disk
    ENVIRONMENT ORVANTA_SMALL_DISK=${ORVANTA_SMALL_DISK})
endif()
