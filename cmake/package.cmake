# What an installer author takes: the exe, the English template language file for translators, the
# right-to-left sample translation and a short text on the command line and the files the program
# reads.  cmake --install build --prefix <folder>, or cpack --preset mingw for a ZIP file in build/.
install(TARGETS uninstall RUNTIME DESTINATION .)
install(FILES ${VOK_LANGUAGE_TEMPLATE} DESTINATION languages/template)
install(FILES ${PROJECT_SOURCE_DIR}/languages/hebrew/uninstall.lng DESTINATION languages/hebrew)
install(FILES ${PROJECT_SOURCE_DIR}/docs/uninstall.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME uninstall)
set(CPACK_PACKAGE_VENDOR Ovenix)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
