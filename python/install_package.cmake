# Installs the package `tramel` (its Python files and the compiled module) under the install
# prefix, in the folder of it that the interpreter searches, and says where it went; says that
# it is left out when the module was not built (a build of the program alone).
cmake_policy(VERSION 3.25)
if(NOT EXISTS "${TRAMEL_PYTHON_MODULE}")
  message(STATUS "Not installed: the Python module tramel, which was not built "
                 "(cmake --build ${TRAMEL_BUILD_DIR} --target tramel_python builds it)")
  return()
endif()
set(lib "${CMAKE_INSTALL_PREFIX}/lib/python${TRAMEL_PYTHON_VERSION}")
execute_process(COMMAND "${TRAMEL_PYTHON_EXECUTABLE}" -c "import site, sys; print('\\n'.join(sys.path + [site.getusersitepackages()]))"
                OUTPUT_VARIABLE search_path OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "\n" ";" search_path "${search_path}")
set(destination "${lib}/site-packages")
set(found FALSE)
foreach(candidate "${lib}/dist-packages" "${lib}/site-packages")
  if(NOT found AND "${candidate}" IN_LIST search_path)
    set(destination "${candidate}")
    set(found TRUE)
  endif()
endforeach()
file(INSTALL ${TRAMEL_PYTHON_FILES} ${TRAMEL_PYTHON_MODULE} DESTINATION "${destination}/tramel")
if(found)
  message(STATUS "The Python module tramel is in ${destination}: ${TRAMEL_PYTHON_EXECUTABLE} finds it")
else()
  message(STATUS "The Python module tramel is in ${destination}: "
                 "export PYTHONPATH=${destination} for ${TRAMEL_PYTHON_EXECUTABLE} to find it")
endif()
