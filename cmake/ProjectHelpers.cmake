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
# _test.cpp are helpers compiled into every test of the layer.
# THREADS names the tests (by file name without .cpp) that run several
# threads: they carry the CTest label "threads", which selects them for the
# ThreadSanitizer build. SERIAL names the tests that must never run in
# parallel with another.
function(kor_add_layer_tests)
  cmake_parse_arguments(T "" "LAYER;SOURCE_DIR" "THREADS;SERIAL" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  set(helpers ${all_sources})
  if(tests)
    list(REMOVE_ITEM helpers ${tests})
  endif()
  set(test_names "")
  foreach(test_source ${tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    list(APPEND test_names ${test_name})
    set(target ${T_LAYER}_${test_name})
    add_executable(${target} ${test_source} ${helpers})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests
                                                 ${CMAKE_CURRENT_SOURCE_DIR}/${T_SOURCE_DIR})
    # The simulated machine comes first so that its stand-ins for the system
    # calls are the ones every library of the process binds to.
    target_link_libraries(${target} PRIVATE simmachine ${T_LAYER} kor_test_support GTest::gtest GTest::gtest_main
                                            Threads::Threads)
    target_compile_definitions(${target} PRIVATE KOR_PACKAGE_DIR="${KOR_PACKAGE_DIR}"
                                                 KOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${target} COMMAND ${target})
  endforeach()
  kor_set_test_kinds(PREFIX ${T_LAYER}_ KNOWN ${test_names} THREADS ${T_THREADS} SERIAL ${T_SERIAL})
endfunction()

# kor_set_test_kinds(PREFIX <prefix> KNOWN <names...> THREADS <names...> SERIAL <names...>)
# Labels the tests <prefix><name> named in THREADS with "threads" and makes
# those in SERIAL run alone. A name that is not among KNOWN stops the
# configuration, so that a renamed test cannot silently lose its label.
function(kor_set_test_kinds)
  cmake_parse_arguments(K "" "PREFIX" "KNOWN;THREADS;SERIAL" ${ARGN})
  foreach(name ${K_THREADS} ${K_SERIAL})
    if(NOT name IN_LIST K_KNOWN)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: no test ${name} to label")
    endif()
  endforeach()
  foreach(name ${K_THREADS})
    set_property(TEST ${K_PREFIX}${name} APPEND PROPERTY LABELS threads)
  endforeach()
  foreach(name ${K_SERIAL})
    set_tests_properties(${K_PREFIX}${name} PROPERTIES RUN_SERIAL TRUE)
  endforeach()
endfunction()
