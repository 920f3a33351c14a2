# What the fuzz targets of targets/ need besides their source, read by the
# libFuzzer project (CMakeLists.txt) and by the corpus replay of the normal
# build (replay/CMakeLists.txt).

# fuzz_target_uses_machine(<source> <variable>)
# True when the target talks to the controller, through the simulated
# machine of support/SimulatedMachine.h.
function(fuzz_target_uses_machine source variable)
  file(STRINGS ${source} includes REGEX "^#include \"SimulatedMachine\\.h\"")
  if(includes)
    set(${variable} TRUE PARENT_SCOPE)
  else()
    set(${variable} FALSE PARENT_SCOPE)
  endif()
endfunction()
