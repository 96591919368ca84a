# The hardening Linux distributions expect of the programs they ship: fortified libc calls
# (checked sizes for memcpy, snprintf, read and the like) in the optimised configurations,
# where they work, and a read-only relocation table bound at start (relro, now). Left out of
# the sanitizer and fuzzing builds, which bring their own checks.
if(UNIX AND NOT APPLE AND NOT QM_SANITIZE AND NOT QM_TSAN AND NOT QM_FUZZ)
  add_compile_options(
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
