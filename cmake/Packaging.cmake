# Install rules of the service and the Debian package built by `cmake --build build --target
# package`. The programs live with the pictures and help pages they load beside themselves in
# lib/wayfarer; bin holds links to them.
set(wayfarer_libexec lib/wayfarer)
set(wayfarer_pkg_dir ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${wayfarer_pkg_dir}/links ${wayfarer_pkg_dir}/man ${wayfarer_pkg_dir}/doc)

foreach(program Wayfarer wayfarer-reg Outfitter Lookout)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${wayfarer_libexec})
    file(CREATE_LINK ../${wayfarer_libexec}/${program} ${wayfarer_pkg_dir}/links/${program}
         SYMBOLIC)
    install(FILES ${wayfarer_pkg_dir}/links/${program} DESTINATION bin)
  endif()
endforeach()
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/ DESTINATION ${wayfarer_libexec}
        FILES_MATCHING PATTERN "*.png" PATTERN "*.html")

# Manual pages and the documents a Debian package carries, compressed as policy wants.
set(wayfarer_gzipped)
foreach(page Wayfarer.8 wayfarer-reg.8 changelog)
  set(gz ${wayfarer_pkg_dir}/man/${page}.gz)
  if(page STREQUAL "changelog")
    set(gz ${wayfarer_pkg_dir}/doc/changelog.gz)
  endif()
  add_custom_command(OUTPUT ${gz}
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${page} > ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${page})
  list(APPEND wayfarer_gzipped ${gz})
endforeach()
add_custom_target(wayfarer_package_docs ALL DEPENDS ${wayfarer_gzipped})
install(FILES ${wayfarer_pkg_dir}/man/Wayfarer.8.gz ${wayfarer_pkg_dir}/man/wayfarer-reg.8.gz
        DESTINATION share/man/man8)
install(FILES ${wayfarer_pkg_dir}/doc/changelog.gz packaging/copyright
        DESTINATION share/doc/wayfarer)
install(FILES packaging/wayfarer.service DESTINATION lib/systemd/system)
install(FILES packaging/wayfarer.logrotate DESTINATION /etc/logrotate.d RENAME wayfarer)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wayfarer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Wayfarer developers <wayfarer-devel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet gateway for a small office network")
set(CPACK_PACKAGE_DESCRIPTION
    "Shares one Internet connection with the machines of a local network: a web\n\
proxy with a disk cache, FTP, Telnet, POP3, SOCKS and streaming-audio proxies,\n\
TCP and UDP port mappings, a DNS service, deny rules and dial-on-demand, run\n\
as a system service.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, logrotate")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/prerm
    ${CMAKE_SOURCE_DIR}/packaging/postrm ${CMAKE_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
