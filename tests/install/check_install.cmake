# Installs the build tree into a scratch prefix and fails when a file the command line or
# the MQTT bridge ships is missing: the programs, the manual pages and the bash completion;
# the bridge's service, system user, its home and example configuration. The service's user,
# the system user, the owner of its home and the udev rule's group must be one, and
# systemd's own tools must take the service, the sysusers file and the tmpfiles file (when
# they are installed).
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(files bin/veltrika bin/veltrika-utility bin/veltrika-utility-demo
          share/man/man1/veltrika.1.gz share/bash-completion/completions/veltrika
          lib/udev/rules.d/70-veltrika-utility.rules)
set(unit lib/systemd/system/veltrika-mqtt.service)
set(sysusers lib/sysusers.d/veltrika-mqtt.conf)
set(tmpfiles lib/tmpfiles.d/veltrika-mqtt.conf)
if(MQTT)
    list(APPEND files bin/veltrika-mqtt share/man/man1/veltrika-mqtt.1.gz ${unit} ${sysusers} ${tmpfiles}
                      share/doc/veltrika-utility/examples/mqtt.conf)
endif()
foreach(file ${files})
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

# The logged-in user keeps the box, and the group of the bridge's service gets it too.
file(READ ${PREFIX}/lib/udev/rules.d/70-veltrika-utility.rules rules)
foreach(part [[TAG+="uaccess"]] [[GROUP="veltrika"]] [[MODE="0660"]] [[ATTR{serial}=="2023"]])
    string(FIND "${rules}" "${part}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the udev rule lacks ${part}")
    endif()
endforeach()

if(MQTT)
    file(READ ${PREFIX}/${unit} service)
    foreach(line "ExecStart=/usr/bin/veltrika-mqtt --config /etc/veltrika/mqtt.conf" "User=veltrika"
                 "Group=veltrika" "Restart=on-failure" "RestartSec=5" "DeviceAllow=char-usb_device rw")
        string(FIND "${service}" "\n${line}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "the service lacks the line ${line}")
        endif()
    endforeach()
    set(scratch ${PREFIX}-systemd)
    file(REMOVE_RECURSE ${scratch})
    if(SYSTEMD_ANALYZE)
        # The unit as installed, its program where this prefix has it: every key known, every
        # value valid, the program there and executable.
        string(REPLACE "/usr/bin/veltrika-mqtt" "${PREFIX}/bin/veltrika-mqtt" service "${service}")
        file(WRITE ${scratch}/units/veltrika-mqtt.service "${service}")
        execute_process(COMMAND ${SYSTEMD_ANALYZE} verify --man=no ${scratch}/units/veltrika-mqtt.service
                        RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
        if(NOT result EQUAL 0 OR NOT said STREQUAL "")
            message(FATAL_ERROR "systemd-analyze verify: ${result}\n${said}")
        endif()
    endif()
    if(SYSUSERS)
        # The user and group made on an empty root, as the package's installation makes them.
        file(MAKE_DIRECTORY ${scratch}/root/etc)
        execute_process(COMMAND ${SYSUSERS} --root=${scratch}/root -
                        INPUT_FILE ${PREFIX}/${sysusers} RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE said)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "systemd-sysusers: ${result}\n${said}")
        endif()
        file(STRINGS ${scratch}/root/etc/passwd users REGEX "^veltrika:")
        file(STRINGS ${scratch}/root/etc/group groups REGEX "^veltrika:")
        if(NOT users MATCHES "^veltrika:x:[0-9]+:[0-9]+:VELTRIKA MQTT bridge:/var/lib/veltrika:"
           OR groups STREQUAL "")
            message(FATAL_ERROR "systemd-sysusers made user '${users}', group '${groups}'")
        endif()
        if(TMPFILES)
            # The user's home, made on that root as the installation makes it: the user's own,
            # so that `config save` as the user works before the service's first start.
            execute_process(COMMAND ${TMPFILES} --root=${scratch}/root --create ${PREFIX}/${tmpfiles}
                            RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE said)
            string(REGEX MATCH "^veltrika:x:([0-9]+):([0-9]+):" ids "${users}")
            set(uid ${CMAKE_MATCH_1})
            set(gid ${CMAKE_MATCH_2})
            execute_process(COMMAND stat -c "%a %u %g" ${scratch}/root/var/lib/veltrika
                            OUTPUT_VARIABLE home OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            if(NOT result EQUAL 0 OR NOT home STREQUAL "750 ${uid} ${gid}")
                message(FATAL_ERROR "systemd-tmpfiles: ${result} ${said}\n/var/lib/veltrika is '${home}', "
                                    "not '750 ${uid} ${gid}'")
            endif()
        endif()
    endif()
    file(REMOVE_RECURSE ${scratch})
endif()
file(REMOVE_RECURSE ${PREFIX})
