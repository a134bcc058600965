# packaging.cmake - what `cmake --install` puts where, the Windows executable's resources, and the
# packages CPack makes from the install: a .deb and a .tar.gz on Linux, a .zip on Windows.
# Everything carries the one version given in the top-level project() call.
include(GNUInstallDirs)

set(KVR_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KVR_PACKAGE_CONTACT "Kelvor developers <kelvor@example.org>"
    CACHE STRING "Maintainer named in the packages")

if(TARGET Kelvor)
    # The executable's icon and version information (windres with MinGW-w64, rc with MSVC).
    if(WIN32)
        set(KVR_ICON_FILE ${KVR_PACKAGING_DIR}/kelvor.ico)
        configure_file(${KVR_PACKAGING_DIR}/kelvor.rc.in ${PROJECT_BINARY_DIR}/kelvor.rc @ONLY)
        target_sources(Kelvor PRIVATE ${PROJECT_BINARY_DIR}/kelvor.rc)
        set_source_files_properties(${PROJECT_BINARY_DIR}/kelvor.rc PROPERTIES OBJECT_DEPENDS ${KVR_ICON_FILE})
    endif()
    install(TARGETS Kelvor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(NOT WIN32)
        # A stripped install (the packages) also drops the compiler's notes, as Debian's dh_strip does.
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/Kelvor\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    endif()
endif()

# Writes a file compressed with gzip -9n (no name or time in the header, so the bytes repeat),
# again whenever the source changes.
function(kvr_gzip source target)
    find_program(KVR_GZIP gzip REQUIRED)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    execute_process(COMMAND ${KVR_GZIP} -9 -n -c ${source} OUTPUT_FILE ${target} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

if(WIN32)
    # A short read-me beside bin\Kelvor.exe: how to run it and the controls.
    configure_file(${KVR_PACKAGING_DIR}/README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
    # The source of the MSI that scripts/package.sh builds with wixl from the zip's files. The
    # codes are name-based UUIDs: the same version always gives the same installer, and a new
    # version a new product (the upgrade code and the components' GUIDs stay).
    set(kvr_uuid_namespace 6ba7b811-9dad-11d1-80b4-00c04fd430c8)  # the URL namespace
    foreach(code PRODUCT PACKAGE)
        string(UUID KVR_MSI_${code}_CODE NAMESPACE ${kvr_uuid_namespace}
               NAME "https://kelvor.example.org/msi/${code}/${PROJECT_VERSION}" TYPE SHA1 UPPER)
    endforeach()
    foreach(code UPGRADE_CODE PROGRAM_GUID README_GUID SHORTCUT_GUID)
        string(UUID KVR_MSI_${code} NAMESPACE ${kvr_uuid_namespace} NAME "https://kelvor.example.org/msi/${code}"
               TYPE SHA1 UPPER)
    endforeach()
    configure_file(${KVR_PACKAGING_DIR}/kelvor.wxs.in ${PROJECT_BINARY_DIR}/kelvor.wxs @ONLY)
else()
    # The desktop's menu entry, its software-centre description, its icon in the hicolor theme,
    # the manual page, and the read-me with its pictures, the copyright and the change log.
    install(FILES ${KVR_PACKAGING_DIR}/kelvor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${KVR_PACKAGING_DIR}/org.example.kelvor.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    kvr_gzip(${KVR_PACKAGING_DIR}/Kelvor.6 ${PROJECT_BINARY_DIR}/Kelvor.6.gz)
    install(FILES ${PROJECT_BINARY_DIR}/Kelvor.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
    kvr_gzip(${KVR_PACKAGING_DIR}/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
    install(FILES ${KVR_PACKAGING_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvor)
    foreach(size 16 32 48 64 128 256)
        install(FILES ${KVR_PACKAGING_DIR}/kelvor-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME kelvor.png)
    endforeach()
    install(FILES ${KVR_PACKAGING_DIR}/kelvor.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvor)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvor/docs
            FILES_MATCHING PATTERN "*.png")
endif()

set(CPACK_PACKAGE_NAME kelvor)
set(CPACK_PACKAGE_VENDOR "Kelvor developers")
set(CPACK_PACKAGE_CONTACT "${KVR_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Interactive 3-D viewer of one fixed OpenGL scene")
# The long description in lines of less than 80 characters, as Debian's tools want it.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kelvor shows one fixed scene drawn with fixed-function OpenGL 1.1, full\n"
    "screen: a floor of cubes, a wooden table with a blue teapot and a small\n"
    "picture on an easel, two light markers and a translucent red surface, lit\n"
    "and fogged.\n"
    "\n"
    "The mouse sets the view, W, A, S and D walk, the wheel raises or lowers\n"
    "the eye, and Alt+Enter switches between full screen and a window. A frame\n"
    "is drawn only when something changes, so an idle viewer costs next to\n"
    "nothing. It runs on any OpenGL 1.1 implementation, Mesa's software\n"
    "renderer included.")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME kelvor-${PROJECT_VERSION}-windows-x64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_PACKAGE_FILE_NAME kelvor-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
    # kelvor_<version>_<arch>.deb; its dependencies are the libraries dpkg-shlibdeps finds.
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    # libdecor draws nothing without a plugin: Debian's one is recommended, not required.
    if(KVR_LIBDECOR)
        set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libdecor-0-plugin-1-cairo)
    endif()
endif()
include(CPack)
