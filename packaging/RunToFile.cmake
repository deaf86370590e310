# Runs PROGRAM with ARGS (a ;-list) and writes its standard output to OUTPUT.
# The run gets folders of its own under WORK_DIR, so making a file at build
# time never reads or writes the builder's own configuration.
foreach(folder home config state cache data)
    file(MAKE_DIRECTORY "${WORK_DIR}/${folder}")
endforeach()
set(ENV{HOME} "${WORK_DIR}/home")
set(ENV{XDG_CONFIG_HOME} "${WORK_DIR}/config")
set(ENV{XDG_STATE_HOME} "${WORK_DIR}/state")
set(ENV{XDG_CACHE_HOME} "${WORK_DIR}/cache")
set(ENV{XDG_DATA_HOME} "${WORK_DIR}/data")
set(ENV{QT_QPA_PLATFORM} "offscreen")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
execute_process(COMMAND "${PROGRAM}" ${ARGS}
                OUTPUT_FILE "${OUTPUT}.tmp"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}.tmp")
    message(FATAL_ERROR "${PROGRAM} ${ARGS} failed: ${result}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
