# Draws the includes between the program's folders, and fails when one
# runs up: a folder may include only from itself and from the folders
# below it. The store is drawn room by room, since its rooms are layered
# the same way. Run with: cmake -DROOT=<source folder> -P tools/includes.cmake
# (add -DDOT=<file> to also write the drawing for Graphviz).

if(NOT ROOT)
    get_filename_component(ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

# The layers from the bottom up; folders on one line stand side by side
# and include nothing from each other. tallymere/ is the generated version
# header of version/. The admin tool stands beside the program: the store
# and a loan's rules, never a screen.
set(LAYERS
    "version tallymere"
    "store/search"
    "store/engine"
    "store/records"
    "store/transfer"
    "ui assets"
    "shell loans catalogue accounts admin"
    "app")

set(rank 0)
foreach(line IN LISTS LAYERS)
    string(REPLACE " " ";" folders "${line}")
    foreach(folder IN LISTS folders)
        set(RANK_${folder} ${rank})
        string(REPLACE "/" "_" key "${folder}")
        set(RANKKEY_${key} ${rank})
    endforeach()
    math(EXPR rank "${rank} + 1")
endforeach()

# The layer a path (a file's, or an include's) belongs to: its store room,
# or its first folder.
function(layer_of path out)
    if(path MATCHES "^(store/[a-z]+)/")
        set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    elseif(path MATCHES "^([a-z]+)/")
        set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

set(upward "")
set(edges "")
foreach(line IN LISTS LAYERS)
    string(REPLACE " " ";" folders "${line}")
    foreach(folder IN LISTS folders)
        file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
        foreach(source IN LISTS sources)
            file(STRINGS "${ROOT}/${source}" includes REGEX "^#include \"[^\"]+\"")
            foreach(include IN LISTS includes)
                string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" target "${include}")
                layer_of("${target}" to)
                if(to STREQUAL "" OR NOT DEFINED RANK_${to})
                    continue() # beside the file: its own folder
                endif()
                if(NOT to STREQUAL folder)
                    list(APPEND edges "${folder} -> ${to}")
                    if(NOT RANK_${to} LESS RANK_${folder})
                        list(APPEND upward "${source} includes ${target}")
                    endif()
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()

list(REMOVE_DUPLICATES edges)
list(SORT edges)
set(drawing "digraph includes {\n    rankdir=BT;\n")
foreach(edge IN LISTS edges)
    string(REGEX REPLACE "^([^ ]+) -> ([^ ]+)$" "    \"\\1\" -> \"\\2\";" line "${edge}")
    string(APPEND drawing "${line}\n")
endforeach()
string(APPEND drawing "}\n")
if(DOT)
    file(WRITE "${DOT}" "${drawing}")
else()
    message("${drawing}")
endif()

if(upward)
    list(JOIN upward "\n  " listed)
    message(FATAL_ERROR "Includes that run up a layer:\n  ${listed}")
endif()
