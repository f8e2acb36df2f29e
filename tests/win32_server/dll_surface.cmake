# Brindlemark5.dll needs nothing beyond the system's DLLs and exports
# exactly the four entry points of an in-process server.
# Usage: cmake -DOBJDUMP=<objdump> -DDLL=<Brindlemark5.dll> -P dll_surface.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

set(system_dlls KERNEL32.DLL ADVAPI32.DLL OLE32.DLL OLEAUT32.DLL USER32.DLL GDI32.DLL SHELL32.DLL COMCTL32.DLL MSVCRT.DLL)
string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${dump}")
set(foreign "")
foreach(line ${import_lines})
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  message(STATUS "import ${name}")
  string(TOUPPER "${name}" upper)
  if(NOT upper IN_LIST system_dlls AND NOT upper MATCHES "^API-MS-WIN-CRT-")
    list(APPEND foreign ${name})
  endif()
endforeach()
if(NOT import_lines)
  message(FATAL_ERROR "no imports found: is ${DLL} a DLL?")
endif()
if(foreign)
  message(FATAL_ERROR "imports beyond the system DLLs: ${foreign}")
endif()

# The names follow the "[Ordinal/Name Pointer] Table" heading, one a line,
# up to the first blank line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${DLL} exports nothing")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(REGEX MATCH "Table\n([^\n]+\n)+" table "${table}")
string(REGEX MATCHALL "\\] [^\n]+" names "${table}")
list(TRANSFORM names REPLACE "\\] " "")
message(STATUS "exports ${names}")
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exports are '${names}', not '${expected}'")
endif()
