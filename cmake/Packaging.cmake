# What `cmake --install` puts beside the program (app/CMakeLists.txt installs the program
# itself), and the Debian package `cpack -G DEB` makes of it (scripts/package builds one from a
# clean folder):
#   bin/yuefengxuan                            the program
#   libexec/yuefengxuan/market-server          the bundled local marketplace server (--demo)
#   share/applications/yuefengxuan.desktop     menu entry: the program as configured
#   share/applications/yuefengxuan-demo.desktop  menu entry: the program on the bundled server
#   share/metainfo/invalid.yuefengxuan.assistant.metainfo.xml   the software centres' entry
#   share/icons/hicolor/NxN/apps/yuefengxuan.png  the icon, 16 to 256 pixels (tools/artwork)
#   lib/systemd/user/yuefengxuan-check.{service,timer}  the check of the watched items every
#                                              6 hours while the program is closed (off until
#                                              the user turns it on: no preset enables it)
#   share/man/man1/yuefengxuan.1.gz, share/doc/yuefengxuan/{copyright,changelog.gz}

install(TARGETS market-server RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/yuefengxuan)
install(FILES ${PROJECT_SOURCE_DIR}/res/yuefengxuan.desktop ${PROJECT_SOURCE_DIR}/res/yuefengxuan-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/invalid.yuefengxuan.assistant.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
# systemd's own folder for user units, under the prefix whatever the library folder is called
install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/yuefengxuan-check.service
              ${PROJECT_SOURCE_DIR}/packaging/systemd/yuefengxuan-check.timer
        DESTINATION lib/systemd/user)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/yuefengxuan)

# The man page and the changelog go in compressed as Debian wants them: gzip -9, no name or time
# stamp in the header, so that two builds give the same bytes.
find_program(YFX_GZIP gzip REQUIRED)
set(yfx_pkg ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/yuefengxuan.1.in ${yfx_pkg}/yuefengxuan.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${yfx_pkg}/changelog COPYONLY)
foreach(doc yuefengxuan.1 changelog)
  add_custom_command(OUTPUT ${yfx_pkg}/${doc}.gz
    COMMAND ${YFX_GZIP} -9nkf ${yfx_pkg}/${doc}
    DEPENDS ${yfx_pkg}/${doc} VERBATIM)
endforeach()
add_custom_target(yfx_package_docs ALL DEPENDS ${yfx_pkg}/yuefengxuan.1.gz ${yfx_pkg}/changelog.gz)
install(FILES ${yfx_pkg}/yuefengxuan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${yfx_pkg}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/yuefengxuan)

# The package: yuefengxuan_<version>_<arch>.deb. dpkg-shlibdeps works out the libraries'
# packages; the font that draws the Chinese interface is named by hand, since no library
# links it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME yuefengxuan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The 悦丰选网购助手 developers")
set(CPACK_PACKAGE_CONTACT "YFX developer <dev@yuefengxuan.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shopping assistant for the Taobao marketplace (悦丰选网购助手)")
# (lines of at most 72 characters; no ASCII double quotes, which CPack's control file mangles)
set(CPACK_PACKAGE_DESCRIPTION
"A Chinese-language desktop shopping assistant for the Taobao
marketplace and its Tmall channel. It searches by keyword, price range,
shipping location and exclusion word, shows the category tree with each
category's hot-sales ranking, finds more offers of the item open in the
web browser and shows one seller's picks of the day. Every result is a
tile with picture, price, postage, title, sales and the seller's credit
badge.

The package includes a local stand-in for the marketplace's servers:
the menu entry “悦丰选网购助手（演示）” (yuefengxuan --demo) runs the
program against it, with made-up items and no network.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OBJCOPY_PROGRAM ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStrip.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsecret is opened by the keyring library at run time (no link for shlibdeps to see)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
