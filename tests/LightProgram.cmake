# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when PROGRAM needs a shared library whose name matches FORBIDDEN: zuvela-cli's commands
# that play nothing start without Qt and ALSA, which only its sound part loads.
#   cmake -DOBJDUMP=objdump -DPROGRAM=zuvela-cli "-DFORBIDDEN=Qt6|asound" -P LightProgram.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${text}")
if(NOT needed MATCHES "libc\\.so")
    message(FATAL_ERROR "${PROGRAM}: no libraries found in ${text}")
endif()
foreach(entry IN LISTS needed)
    if(entry MATCHES "${FORBIDDEN}")
        message(SEND_ERROR "${PROGRAM} loads ${entry}")
    endif()
endforeach()
