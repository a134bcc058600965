# The Wayland backend's build: libwayland-client and -egl, EGL, xkbcommon, and the protocols it
# speaks, generated with wayland-scanner from wayland-protocols' XML. KVR_WAYLAND is on by default
# where all of them are found; a build without them has the X11 backend only.
find_package(PkgConfig QUIET)
set(KVR_WAYLAND_FOUND OFF)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(KVR_WL QUIET IMPORTED_TARGET wayland-client wayland-egl wayland-cursor egl xkbcommon)
    pkg_get_variable(KVR_WL_PROTOCOLS_DIR wayland-protocols pkgdatadir)
    find_program(KVR_WAYLAND_SCANNER wayland-scanner)
    if(KVR_WL_FOUND AND KVR_WL_PROTOCOLS_DIR AND KVR_WAYLAND_SCANNER)
        set(KVR_WAYLAND_FOUND ON)
    endif()
endif()
# AUTO (the default) follows what is installed at each configure, so a tree configured before the
# packages were installed gets the backend once they are.
set(KVR_WAYLAND AUTO CACHE STRING "Build the Wayland backend: ON, OFF or AUTO (where its packages are found)")
if(KVR_WAYLAND STREQUAL "AUTO")
    set(KVR_WAYLAND ${KVR_WAYLAND_FOUND})
endif()
if(KVR_WAYLAND AND NOT KVR_WAYLAND_FOUND)
    message(FATAL_ERROR "KVR_WAYLAND needs libwayland-dev, libegl-dev, libxkbcommon-dev and wayland-protocols")
endif()
if(NOT KVR_WAYLAND)
    message(STATUS "Wayland backend: off (X11 only)")
    return()
endif()
# libdecor draws decorations where the compositor draws none (GNOME); optional.
pkg_check_modules(KVR_LIBDECOR QUIET IMPORTED_TARGET libdecor-0)
set(KVR_LIBDECOR AUTO CACHE STRING "Decorate Wayland windows with libdecor (libdecor-0-dev): ON, OFF or AUTO")
if(KVR_LIBDECOR STREQUAL "AUTO")
    set(KVR_LIBDECOR ${KVR_LIBDECOR_FOUND})
endif()
if(KVR_LIBDECOR AND NOT KVR_LIBDECOR_FOUND)
    message(FATAL_ERROR "KVR_LIBDECOR needs libdecor-0-dev")
endif()
message(STATUS "Wayland backend: on (libdecor: ${KVR_LIBDECOR})")

# Client headers and glue code for each protocol the backend speaks.
set(KVR_WL_GENERATED ${CMAKE_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${KVR_WL_GENERATED})
set(KVR_WL_PROTOCOL_SOURCES "")
foreach(xml stable/xdg-shell/xdg-shell.xml unstable/xdg-decoration/xdg-decoration-unstable-v1.xml
        unstable/pointer-constraints/pointer-constraints-unstable-v1.xml
        unstable/relative-pointer/relative-pointer-unstable-v1.xml)
    get_filename_component(name ${xml} NAME_WE)
    set(path ${KVR_WL_PROTOCOLS_DIR}/${xml})
    add_custom_command(OUTPUT ${KVR_WL_GENERATED}/${name}-client.h ${KVR_WL_GENERATED}/${name}.c
                       COMMAND ${KVR_WAYLAND_SCANNER} client-header ${path} ${KVR_WL_GENERATED}/${name}-client.h
                       COMMAND ${KVR_WAYLAND_SCANNER} private-code ${path} ${KVR_WL_GENERATED}/${name}.c
                       DEPENDS ${path} VERBATIM)
    list(APPEND KVR_WL_PROTOCOL_SOURCES ${KVR_WL_GENERATED}/${name}.c ${KVR_WL_GENERATED}/${name}-client.h)
endforeach()
add_library(kvr_wayland_protocols STATIC ${KVR_WL_PROTOCOL_SOURCES})
target_include_directories(kvr_wayland_protocols PUBLIC ${KVR_WL_GENERATED})
target_link_libraries(kvr_wayland_protocols PUBLIC PkgConfig::KVR_WL)
if(KVR_LIBDECOR)
    target_link_libraries(kvr_wayland_protocols PUBLIC PkgConfig::KVR_LIBDECOR)
endif()
