# Run by `cmake --install` (install(SCRIPT) in app/CMakeLists.txt): writes
# the desktop entry with the command that starts the installed program, and
# installs it. Written at install time because `cmake --install --prefix`
# may choose the prefix only then. Expects SKARVET_DESKTOP_TEMPLATE,
# SKARVET_DESKTOP_WORK_DIR (a folder of the build to write it in first),
# SKARVET_INSTALL_BINDIR and SKARVET_INSTALL_DATADIR (each absolute, or
# relative to the prefix).
#
# A menu started by the display manager sees the system's PATH, not one a
# shell profile extends (~/.local/bin, say): the entry names the program
# by its bare name only in the two folders every desktop session has on
# PATH, and by its absolute path everywhere else.

# The install script around this one sets no policies; these are the
# project's (an included script has a policy scope of its own).
cmake_policy(VERSION 3.25)

function(skarvet_install_path out dir)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  cmake_path(ABSOLUTE_PATH dir NORMALIZE)
  string(REGEX REPLACE "(.)/+$" "\\1" dir "${dir}")
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

skarvet_install_path(bindir "${SKARVET_INSTALL_BINDIR}")
skarvet_install_path(datadir "${SKARVET_INSTALL_DATADIR}")

if(bindir STREQUAL "/usr/bin" OR bindir STREQUAL "/usr/local/bin")
  set(SKARVET_COMMAND skarvet)
else()
  set(SKARVET_COMMAND "${bindir}/skarvet")
  if(SKARVET_COMMAND MATCHES "[\n\r]")
    message(FATAL_ERROR "A desktop entry cannot name a program whose path has a line break: "
      "${SKARVET_COMMAND}")
  endif()
  # The Exec key's rules: "%" is written "%%"; an argument with a reserved
  # character is quoted, with \, ", ` and $ escaped inside the quotes; and
  # then, as in every string value, each backslash is doubled.
  string(REPLACE "%" "%%" SKARVET_COMMAND "${SKARVET_COMMAND}")
  if(SKARVET_COMMAND MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
    string(REPLACE "\\" "\\\\" SKARVET_COMMAND "${SKARVET_COMMAND}")
    string(REPLACE "\"" "\\\"" SKARVET_COMMAND "${SKARVET_COMMAND}")
    string(REPLACE "`" "\\`" SKARVET_COMMAND "${SKARVET_COMMAND}")
    string(REPLACE "$" "\\$" SKARVET_COMMAND "${SKARVET_COMMAND}")
    set(SKARVET_COMMAND "\"${SKARVET_COMMAND}\"")
  endif()
  string(REPLACE "\\" "\\\\" SKARVET_COMMAND "${SKARVET_COMMAND}")
endif()

set(entry "${SKARVET_DESKTOP_WORK_DIR}/skarvet.desktop")
configure_file("${SKARVET_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
# file(INSTALL) adds DESTDIR, prints the line cmake --install prints for
# every file, and lists the file in install_manifest.txt.
file(INSTALL DESTINATION "${datadir}/applications" TYPE FILE FILES "${entry}")
