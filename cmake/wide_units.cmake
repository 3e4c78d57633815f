# Units compiled for a wider instruction set than the x86-64 baseline: the
# chain's eight-lane AVX and AVX2 units and sixteen-lane AVX-512 unit (and the tests'
# counterparts). Such a unit runs only after a run-time check of the
# processor. No FMA: contraction stays off, and the AVX-512 unit's own fused
# operations are emitted only by contraction.
#
#   vardo_wide_unit(SOURCE avx|avx2|avx512)
set(VARDO_WIDE_UNITS OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  set(VARDO_WIDE_UNITS ON)
endif()

function(vardo_wide_unit source set)
  if(set STREQUAL "avx")
    set(options -mavx -mno-fma)
  elseif(set STREQUAL "avx2")
    set(options -mavx2 -mno-fma)
  elseif(set STREQUAL "avx512")
    set(options -mavx512f -mno-fma)
    # GCC 12's AVX-512 intrinsics fill their unused pass-through operand from
    # a deliberately uninitialised variable, which its uninitialised-value
    # warnings report at every inlined call.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      list(APPEND options -Wno-uninitialized -Wno-maybe-uninitialized)
    endif()
  else()
    message(FATAL_ERROR "vardo_wide_unit: unknown instruction set ${set}")
  endif()
  # MinGW cannot align the stack to the 32 or 64 bytes that spilled wide
  # registers want, so its assembler is told to write every aligned vector
  # move as an unaligned one.
  if(WIN32)
    list(APPEND options -Wa,-muse-unaligned-vector-move)
  endif()
  set_source_files_properties(${source} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
                              PROPERTIES COMPILE_OPTIONS "${options}")
endfunction()
