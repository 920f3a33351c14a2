# kor_add_layer(NAME <target> SOURCE_DIR <dir> DEPENDS <targets...>)
# A static library made of every .cpp in SOURCE_DIR, with the layer's include/
# folder public.
function(kor_add_layer)
  cmake_parse_arguments(L "" "NAME;SOURCE_DIR" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${L_SOURCE_DIR}/*.cpp)
  add_library(${L_NAME} STATIC ${sources})
  target_include_directories(${L_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                       PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${L_SOURCE_DIR})
  target_link_libraries(${L_NAME} PUBLIC ${L_DEPENDS})
endfunction()

# kor_add_layer_tests(LAYER <target>)
# One test executable per tests/*_test.cpp of the current layer, linked with the
# layer, GoogleTest and the simulated machine (which stands in for the kernel,
# the shell and the controller inside the test process). Files in tests/ that
# do not end in _test.cpp are shared helpers compiled into every test of the layer.
# A test file whose first line is "// serial" is never run in parallel.
function(kor_add_layer_tests)
  cmake_parse_arguments(T "" "LAYER" "" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  set(helpers ${all_sources})
  if(tests)
    list(REMOVE_ITEM helpers ${tests})
  endif()
  foreach(test_source ${tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    set(target ${T_LAYER}_${test_name})
    add_executable(${target} ${test_source} ${helpers})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests
                                                 ${CMAKE_CURRENT_SOURCE_DIR}/src
                                                 ${CMAKE_CURRENT_SOURCE_DIR}/source/private)
    # The simulated machine comes first so that its stand-ins for the system
    # calls are the ones every library of the process binds to.
    target_link_libraries(${target} PRIVATE simmachine ${T_LAYER} kor_test_support GTest::gtest GTest::gtest_main
                                            Threads::Threads)
    target_compile_definitions(${target} PRIVATE KOR_PACKAGE_DIR="${KOR_PACKAGE_DIR}"
                                                 KOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${target} COMMAND ${target})
    file(STRINGS ${test_source} first_line LIMIT_COUNT 1)
    if(first_line MATCHES "^// serial")
      set_tests_properties(${target} PROPERTIES RUN_SERIAL TRUE)
    endif()
    if(first_line MATCHES "threads")
      set_tests_properties(${target} PROPERTIES LABELS threads)
    endif()
  endforeach()
endfunction()
