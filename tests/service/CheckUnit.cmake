# Checks the shipped systemd unit with systemd-analyze verify: the unit is copied into a
# scratch directory beside a copy of the server, its paths pointed there, and verified. Any
# line about the unit (an unknown key, a bad value, a missing executable) fails the check.
# Skipped where systemd-analyze is not installed (the test matches the message).
#   cmake -DUNIT=... -DSERVER=... -DSCRATCH=... -P CheckUnit.cmake

# What the unit is for, whatever systemd thinks of its syntax.
file(READ ${UNIT} unit)
foreach(line "ExecStart=/opt/velmorin/velmorin-server --headless" "ExecReload=/bin/kill -HUP $MAINPID"
             "Restart=on-failure" "AmbientCapabilities=CAP_NET_BIND_SERVICE" "User=velmorin"
             "Type=notify" "RestartPreventExitStatus=69" "ProtectSystem=strict"
             "ReadWritePaths=/opt/velmorin/config /opt/velmorin/logs /opt/velmorin/run")
  string(FIND "${unit}" "\n${line}\n" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the unit lacks the line: ${line}")
  endif()
endforeach()

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  message("systemd-analyze is not installed; the unit is not checked")
  return()
endif()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
file(COPY ${SERVER} DESTINATION ${SCRATCH})
string(REPLACE "/opt/velmorin" "${SCRATCH}" unit "${unit}")
file(WRITE ${SCRATCH}/velmorin-server.service "${unit}")

execute_process(COMMAND ${SYSTEMD_ANALYZE} verify ${SCRATCH}/velmorin-server.service
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(FIND "${output}" "velmorin-server.service" mentioned)
if(NOT result EQUAL 0 OR NOT mentioned EQUAL -1)
  message(FATAL_ERROR "systemd-analyze verify finds fault with the unit (${result}):\n${output}")
endif()
message("the unit verifies")
