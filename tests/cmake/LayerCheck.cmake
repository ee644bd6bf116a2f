# Checks one target's view of src/ (cmake -P, run by CTest):
#   TARGET    the target (a module, the window library or the command line)
#   INCLUDES  its include folders, with those it takes from what it links
#   CXX       the C++ compiler
#   SRC       the src/ folder
#   WORK      a scratch folder for the probe files
# Every folder of the table below is probed with a header of its own: one the
# target may use must be found, and a one-line file that includes one it may
# not use must fail to compile. Its own sources must not reach a folder
# through "../" (that would go around the include folders).

# The layers, bottom-up: what each target may include, itself last.
set(all_core platform app tags audio/stream audio/formats cd cddb jobs runner record player)
set(sees_dw_platform platform)
set(sees_dw_app      platform app)
set(sees_dw_tags     platform app tags)
set(sees_dw_stream   platform app tags audio/stream)
set(sees_dw_formats  platform app tags audio/stream audio/formats)
set(sees_dw_cd       platform app tags audio/stream audio/formats cd)
set(sees_dw_cddb     platform app tags audio/stream audio/formats cd cddb)
set(sees_dw_jobs     platform app jobs)
set(sees_dw_runner   platform app tags audio/stream audio/formats cd jobs runner)
set(sees_dw_record   platform app record)
set(sees_dw_player   platform app tags audio/stream audio/formats player)
# frontend/ (the process-wide settings record) is for the front ends alone.
set(sees_dw_ui           ${all_core} frontend widgets)
set(sees_discwright-cli  ${all_core} frontend cli)

foreach(v TARGET CXX SRC WORK)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "${v} not given")
  endif()
endforeach()
if(NOT DEFINED sees_${TARGET})
  message(FATAL_ERROR "${TARGET} has no row in the layer table")
endif()
set(sees ${sees_${TARGET}})
list(GET sees -1 own)

set(flags -std=c++20 -E -x c++)
foreach(d ${INCLUDES})
  list(APPEND flags -I${d})
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

set(failures)
# One file asks, for every folder, whether its header is found as it should be.
set(allowed_probe "")
foreach(folder ${all_core} frontend widgets cli)
  file(GLOB headers RELATIVE ${SRC} ${SRC}/${folder}/*.h)
  list(SORT headers)
  if(NOT headers)
    list(APPEND failures "src/${folder} has no header to probe")
    continue()
  endif()
  list(GET headers 0 header)
  list(FIND sees ${folder} at)
  if(at GREATER -1)
    string(APPEND allowed_probe
      "#if !__has_include(\"${header}\")\n#error ${header} not found\n#endif\n")
  else()
    string(APPEND allowed_probe
      "#if __has_include(\"${header}\")\n#error ${header} found\n#endif\n")
    string(MAKE_C_IDENTIFIER ${folder} name)
    string(REPLACE "." "\\." missing ${header})
    set(probe ${WORK}/up_${name}.cpp)
    file(WRITE ${probe} "#include \"${header}\"\n")
    execute_process(COMMAND ${CXX} ${flags} ${probe} -o ${WORK}/up_${name}.i
                    RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
    if(rc EQUAL 0)
      list(APPEND failures "${TARGET} can include ${header}, which is above it")
    elseif(NOT err MATCHES "${missing}: No such file|'${missing}' file not found")
      list(APPEND failures "${TARGET}: including ${header} failed for another reason: ${err}")
    endif()
  endif()
endforeach()

file(WRITE ${WORK}/visible.cpp "${allowed_probe}")
execute_process(COMMAND ${CXX} ${flags} ${WORK}/visible.cpp -o ${WORK}/visible.i
                RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  list(APPEND failures "${TARGET} sees the wrong folders: ${err}")
endif()

file(GLOB_RECURSE sources ${SRC}/${own}/*.h ${SRC}/${own}/*.cpp)
foreach(f ${sources})
  file(STRINGS ${f} ups REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]\\.\\./")
  if(ups)
    list(APPEND failures "${f} includes through \"../\": ${ups}")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "${TARGET} sees ${sees} and nothing above")
