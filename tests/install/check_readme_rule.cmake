# The README quotes the udev rule the package installs: every rule line of the file must
# stand in the README as it is, and the README may quote no other rule for the box.
file(STRINGS ${RULES} rule_lines REGEX "^[^#].")
file(STRINGS ${README} readme_lines REGEX "^    SUBSYSTEM==")
set(quoted)
foreach(line ${readme_lines})
    string(STRIP "${line}" line)
    list(APPEND quoted "${line}")
endforeach()
if(NOT quoted STREQUAL rule_lines)
    message(FATAL_ERROR "The README quotes the udev rule as\n  ${quoted}\nbut ${RULES} holds\n  ${rule_lines}")
endif()
