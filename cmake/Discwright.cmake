# Layers. Sources include each other as "<folder>/File.h" from src/, but no
# module gets src/ itself as an include folder: each gets an include root of
# its own in the build tree holding links to its folder and to the folders of
# the modules it links (directly or through them), nothing else. A header of a
# module above is therefore not found and an upward include fails to compile.
# A module may link only modules declared before it (src/CMakeLists.txt adds
# them bottom-up), so the links stay one-way.

# dw_layer_folders(OUT deps...): the src/ folders visible to a module that
# links deps; fails when one of them is a module not declared yet.
function(dw_layer_folders out)
  set(folders)
  foreach(d ${ARGN})
    get_property(known GLOBAL PROPERTY DW_LAYER_FOLDERS_${d} SET)
    if(known)
      get_property(f GLOBAL PROPERTY DW_LAYER_FOLDERS_${d})
      list(APPEND folders ${f})
    elseif(d MATCHES "^dw_")
      message(FATAL_ERROR "${d} is not a module below this one: a module links only "
                          "modules added before it (src/CMakeLists.txt)")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# dw_include_root(TARGET SCOPE folders...): gives TARGET an include root that
# holds a link to each of these src/ folders (e.g. "audio/stream") and no other.
function(dw_include_root target scope)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  # Removes the links, never what they point at.
  file(REMOVE_RECURSE ${root})
  foreach(f ${ARGN})
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${f})
      message(FATAL_ERROR "${target}: no folder src/${f}")
    endif()
    get_filename_component(parent ${root}/${f} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${f} ${root}/${f} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
  set_property(TARGET ${target} PROPERTY DW_LAYER_ROOT ${root})
endfunction()

# dw_module(NAME [DEPS targets...])
# One static library per subsystem folder, made from every source file in it.
# Each folder is its own library so that a layer can only use what it links.
function(dw_module name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${srcs})
  file(RELATIVE_PATH own ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  dw_layer_folders(below ${A_DEPS})
  set(folders ${below} ${own})
  set_property(GLOBAL PROPERTY DW_LAYER_FOLDERS_${name} ${folders})
  dw_include_root(${name} PUBLIC ${folders})
  target_link_libraries(${name} PUBLIC Qt6::Core Threads::Threads ${A_DEPS})
endfunction()

# dw_test(NAME DIR [DEPS targets...])
# One GoogleTest executable per test folder; every case becomes a CTest test.
function(dw_test name dir)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE dw_testsupport ${A_DEPS} GTest::gtest GTest::gmock)
  set(env)
  if(DISCWRIGHT_SANITIZE)
    # Leaks inside system libraries are not ours to mend (see the file).
    set(env ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan-system-libraries.supp")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ${env})
endfunction()
