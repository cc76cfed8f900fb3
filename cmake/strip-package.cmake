# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack on the staged package tree before it is packed: removes from every program the
# sections that strip leaves in (compiler versions in .comment, build notes in .note).
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
                            --strip-unneeded ${program}
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
