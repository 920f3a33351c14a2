# kor_add_layer(NAME <target> SOURCE_DIR <dir> DEPENDS <targets...>)
# A static library made of every .cpp in SOURCE_DIR, with the layer's include/
# folder public and its source folder private.
function(kor_add_layer)
  cmake_parse_arguments(L "" "NAME;SOURCE_DIR" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${L_SOURCE_DIR}/*.cpp)
  add_library(${L_NAME} STATIC ${sources})
  target_include_directories(${L_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                       PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${L_SOURCE_DIR})
  target_link_libraries(${L_NAME} PUBLIC ${L_DEPENDS})
endfunction()

# kor_add_layer_tests(LAYER <target> SOURCE_DIR <dir> [THREADS <tests...>] [SERIAL <tests...>])
# One test executable per tests/*_test.cpp of the current layer, named
# <layer>_<file name>, linked with the layer, the shared test support,
# GoogleTest and the simulated machine (which stands in for the kernel, the
# shell and the controller inside the test process). The tests see the
# layer's private headers in SOURCE_DIR. Files in tests/ that do not end in
# _test.cpp are the layer's test helpers, compiled once into the library
# <layer>_test_helpers that every test of the layer links.
# THREADS and SERIAL name tests by file name without .cpp (see kor_add_gtests).
function(kor_add_layer_tests)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "LAYER;SOURCE_DIR" "THREADS;SERIAL" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  set(helpers ${all_sources})
  if(tests)
    list(REMOVE_ITEM helpers ${tests})
  endif()

  # Without helper sources the library only carries what every test of the
  # layer is compiled and linked with.
  set(helpers_target ${T_LAYER}_test_helpers)
  if(helpers)
    add_library(${helpers_target} STATIC ${helpers})
    set(scope PUBLIC)
  else()
    add_library(${helpers_target} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${helpers_target} ${scope} ${CMAKE_CURRENT_SOURCE_DIR}/tests
                                                        ${CMAKE_CURRENT_SOURCE_DIR}/${T_SOURCE_DIR})
  target_link_libraries(${helpers_target} ${scope} simmachine ${T_LAYER} kor_test_support GTest::gtest
                                                   Threads::Threads)
  target_compile_definitions(${helpers_target} ${scope} KOR_PACKAGE_DIR="${KOR_PACKAGE_DIR}"
                                                        KOR_BINARY_DIR="${CMAKE_BINARY_DIR}")

  set(targets "")
  foreach(test_source ${tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    set(target ${T_LAYER}_${test_name})
    list(APPEND targets ${target})
    add_executable(${target} ${test_source})
    # The simulated machine comes first so that its stand-ins for the system
    # calls are the ones every library of the process binds to.
    target_link_libraries(${target} PRIVATE simmachine ${helpers_target} GTest::gtest_main)
  endforeach()
  list(TRANSFORM T_THREADS PREPEND ${T_LAYER}_)
  list(TRANSFORM T_SERIAL PREPEND ${T_LAYER}_)
  kor_add_gtests(TARGETS ${targets} THREADS ${T_THREADS} SERIAL ${T_SERIAL})
endfunction()

# kor_add_gtests(TARGETS <targets...> [THREADS <targets...>] [SERIAL <targets...>])
# Makes every test case of each GoogleTest program a CTest test of its own,
# named <program>.<suite>.<case> (a parameterised case ends in its
# parameter's name, or its index), so that one case runs alone with
# `ctest -R` and the cases of one program run in parallel.
# The cases are listed when ctest starts, from each program as it is then
# (PRE_TEST): the build runs no test program, a program that cannot list its
# cases shows as a failure of the tests and not of the build, and a build of
# some programs only (the ThreadSanitizer one) still lists those.
# THREADS names the programs that run several threads: their cases carry the
# CTest label "threads", and the target kor_threads_tests builds them, which
# is what the ThreadSanitizer build builds and runs. SERIAL names the
# programs whose cases must never run in parallel with another test. A name
# in THREADS or SERIAL that is not among TARGETS stops the configuration, so
# that a renamed test cannot silently lose its kind.
function(kor_add_gtests)
  cmake_parse_arguments(G "" "" "TARGETS;THREADS;SERIAL" ${ARGN})
  foreach(name ${G_THREADS} ${G_SERIAL})
    if(NOT name IN_LIST G_TARGETS)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: no test ${name} to label")
    endif()
  endforeach()
  foreach(target ${G_TARGETS})
    set(properties "")
    if(target IN_LIST G_THREADS)
      list(APPEND properties LABELS threads)
      add_dependencies(kor_threads_tests ${target})
    endif()
    if(target IN_LIST G_SERIAL)
      list(APPEND properties RUN_SERIAL TRUE)
    endif()
    # Listing a program whose cases come from a simulated update takes that
    # update, longer under a sanitizer.
    gtest_discover_tests(${target} TEST_PREFIX ${target}. NO_PRETTY_VALUES DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
  endforeach()
endfunction()
