# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a program defines a symbol that one of the test-support libraries defines: the
# scripted stand-ins and the test helpers stay out of what is shipped.
#   cmake -DNM=nm "-DPROGRAMS=a;b" "-DSUPPORT=libx.a;liby.a" -P ProgramsWithoutTestSupport.cmake

# The global symbols a file defines (code and data; weak inline copies are left out, a program
# may share those with anything).
function(defined_symbols file out)
    execute_process(COMMAND ${NM} --defined-only --extern-only --format=posix ${file}
                    OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${NM} could not read ${file}")
    endif()
    string(REGEX MATCHALL "[^\n ]+ [TDBR] " found "${text}")
    list(TRANSFORM found REPLACE " [TDBR] $" "")
    list(REMOVE_DUPLICATES found)
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(support)
foreach(library IN LISTS SUPPORT)
    defined_symbols(${library} symbols)
    list(APPEND support ${symbols})
endforeach()
list(LENGTH support count)
if(count LESS 20)
    message(FATAL_ERROR "only ${count} symbols in the test-support libraries: nothing to check")
endif()

set(failed FALSE)
foreach(program IN LISTS PROGRAMS)
    defined_symbols(${program} symbols)
    list(LENGTH symbols programCount)
    if(programCount LESS 100)
        message(FATAL_ERROR "${program}: only ${programCount} symbols (stripped?)")
    endif()
    set(leaked)
    foreach(symbol IN LISTS support)
        list(FIND symbols "${symbol}" at)
        if(NOT at EQUAL -1)
            list(APPEND leaked "${symbol}")
        endif()
    endforeach()
    if(leaked)
        set(failed TRUE)
        execute_process(COMMAND c++filt ${leaked} OUTPUT_VARIABLE names)
        message(SEND_ERROR "${program} holds test-support code:\n${names}")
    else()
        message(STATUS "${program}: ${programCount} symbols, none of the ${count} of test support")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "test support linked into a program")
endif()
