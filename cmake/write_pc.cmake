# Run at install time, so that the prefix written into verrin.pc is the one
# installed to (cmake --install --prefix, or the packaging prefix of CPack).
set(VERRIN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
configure_file("${VERRIN_PC_IN}" "${VERRIN_PC_OUT}" @ONLY)
