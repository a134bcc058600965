# hardening.cmake - the distribution's hardening flags for optimised builds, and the options that
# make two builds of one source give the same bytes wherever the source and build folders lie.
#
# Linux: the flags of dpkg-buildflags (with hardening=+all) where it exists, else the same set
# Debian uses: -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security,
# -Wl,-z,relro -Wl,-z,now, and position-independent executables; with the stack-clash probes and
# control-flow protection where the compiler offers them. MinGW-w64: the stack protector
# and FORTIFY (both from the static libssp), ASLR with high-entropy addresses and DEP.
# FORTIFY needs optimisation, so Debug builds (the sanitizer preset among them) go without.
option(KVR_HARDENING "Build optimised configurations with the distribution's hardening flags" ON)

if(NOT MSVC)
    # Paths in debug information and __FILE__ relative to the source and build folders (the
    # build folder's map is given last so that it wins when it lies inside the source folder).
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()
if(MINGW)
    # No link time in the PE header: the same objects give the same executable.
    add_link_options(-Wl,--no-insert-timestamp)
endif()

if(NOT KVR_HARDENING OR MSVC OR KVR_SANITIZE)
    return()
endif()

set(kvr_hardening_compile "")
set(kvr_hardening_link "")
if(MINGW)
    set(kvr_hardening_compile -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security)
    set(kvr_hardening_link -fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
else()
    find_program(KVR_DPKG_BUILDFLAGS dpkg-buildflags)
    if(KVR_DPKG_BUILDFLAGS)
        foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
            execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                                    ${KVR_DPKG_BUILDFLAGS} --get ${kind}
                            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
            if(NOT rc EQUAL 0)
                message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${rc})")
            endif()
            separate_arguments(flags UNIX_COMMAND "${flags}")
            # The build type chooses debug information and optimisation; the path maps are ours.
            list(FILTER flags EXCLUDE REGEX "^(-g.*|-O.*|-f(file|debug|macro)-prefix-map=.*)$")
            if(kind STREQUAL "LDFLAGS")
                list(APPEND kvr_hardening_link ${flags})
            else()
                list(APPEND kvr_hardening_compile ${flags})
            endif()
        endforeach()
    else()
        set(kvr_hardening_compile -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security)
        set(kvr_hardening_link -Wl,-z,relro -Wl,-z,now)
    endif()
    # What hardening-check also looks for and Debian 12's dpkg-buildflags does not give yet: the
    # stack-clash probes, and control-flow protection (CET) where the processor has it.
    include(CheckCXXCompilerFlag)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "KVR_HAS${flag}" has_flag)
        check_cxx_compiler_flag(${flag} ${has_flag})
        if(${has_flag})
            list(APPEND kvr_hardening_compile ${flag})
        endif()
    endforeach()
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES C CXX)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
list(REMOVE_DUPLICATES kvr_hardening_compile)
message(STATUS "hardening flags for optimised builds: ${kvr_hardening_compile} ${kvr_hardening_link}")
foreach(flag IN LISTS kvr_hardening_compile)
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
endforeach()
foreach(flag IN LISTS kvr_hardening_link)
    add_link_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
endforeach()
