# Writes the gateway's systemd user unit at install time, when the prefix is known (it may be
# given to `cmake --install --prefix`). systemd looks for user units in lib/systemd/user under
# /usr and /usr/local, and in share/systemd/user under ~/.local.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
  set(unit_dir "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
else()
  set(unit_dir "${CMAKE_INSTALL_PREFIX}/share/systemd/user")
endif()
file(READ "${KESTREL_DIST_DIR}/kestrel-quoted.service.in" unit)
string(REPLACE "@BINDIR@" "${CMAKE_INSTALL_PREFIX}/bin" unit "${unit}")
file(WRITE "${KESTREL_UNIT_BUILD}" "${unit}")
file(INSTALL "${KESTREL_UNIT_BUILD}" DESTINATION "${unit_dir}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
