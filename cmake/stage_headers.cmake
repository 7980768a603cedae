# Stages the public headers of the library for installation: the header ENTRY (a path below
# SOURCE, "folder/file.hpp") and every project header it includes, directly or through another,
# written to OUTPUT/folder/file.hpp with each project include "folder/file.hpp" rewritten to
# "tramel/folder/file.hpp", so that the installed headers find one another under one
# include/tramel root. A public header may include the headers of the library's folders
# (FOLDERS, separated by commas) and standard headers only. A staged file is rewritten only when its text changes,
# and a staged header that is no longer public is removed.
#   cmake -DSOURCE=prog -DOUTPUT=build/include/tramel -DENTRY=analysis/analysis.hpp
#         -DFOLDERS=a,b,... -P stage_headers.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" FOLDERS "${FOLDERS}")
set(project_include "#[ \t]*include[ \t]*\"([a-z_]+)/([a-z_]+\\.hpp)\"")
set(pending ${ENTRY})
set(public "")
while(pending)
  list(POP_FRONT pending header)
  if(header IN_LIST public)
    continue()
  endif()
  list(APPEND public ${header})
  file(READ ${SOURCE}/${header} text)
  string(REGEX MATCHALL "#[ \t]*include[ \t]*\"[^\"]*\"" quoted "${text}")
  foreach(line ${quoted})
    if(NOT line MATCHES "^${project_include}$")
      message(FATAL_ERROR "The public header ${header} has ${line}: a public header includes "
                          "only standard headers and headers \"folder/file.hpp\" of the library")
    endif()
    if(NOT CMAKE_MATCH_1 IN_LIST FOLDERS)
      message(FATAL_ERROR "The public header ${header} includes ${CMAKE_MATCH_1}/${CMAKE_MATCH_2}, "
                          "which is not in the library (its folders: ${FOLDERS})")
    endif()
    list(APPEND pending ${CMAKE_MATCH_1}/${CMAKE_MATCH_2})
  endforeach()
  string(REGEX REPLACE "${project_include}" "#include \"tramel/\\1/\\2\"" text "${text}")
  set(staged ${OUTPUT}/${header})
  set(old "")
  if(EXISTS ${staged})
    file(READ ${staged} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${staged} "${text}")
  endif()
endwhile()

file(GLOB_RECURSE present RELATIVE ${OUTPUT} ${OUTPUT}/*/*.hpp)
foreach(header ${present})
  if(NOT header IN_LIST public)
    file(REMOVE ${OUTPUT}/${header})
  endif()
endforeach()
