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
endif()

if(WIN32)
    # A short read-me beside bin\Kelvor.exe: how to run it and the controls.
    configure_file(${KVR_PACKAGING_DIR}/README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
else()
    # The desktop's menu entry, its icon in the hicolor theme, and the read-me with its pictures.
    install(FILES ${KVR_PACKAGING_DIR}/kelvor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48)
        install(FILES ${KVR_PACKAGING_DIR}/kelvor-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME kelvor.png)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvor)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvor/docs
            FILES_MATCHING PATTERN "*.png")
endif()

set(CPACK_PACKAGE_NAME kelvor)
set(CPACK_PACKAGE_VENDOR "Kelvor developers")
set(CPACK_PACKAGE_CONTACT "${KVR_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Interactive 3-D viewer of one fixed OpenGL scene")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvor shows a lit, fogged scene drawn with fixed-function OpenGL 1.1 - a floor of cubes, a \
wooden table with a blue teapot and a small picture, two light markers and a translucent red \
surface - full screen. The mouse sets the view; W, A, S and D walk; the wheel raises the eye.")
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
endif()
include(CPack)
