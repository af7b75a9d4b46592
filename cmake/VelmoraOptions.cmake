# Project-wide compile options, linked by every target of the project.
option(VELMORA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(velmora_options INTERFACE)
target_compile_options(velmora_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(velmora_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_NO_KEYWORDS)

if(VELMORA_SANITIZE)
    target_compile_options(velmora_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(velmora_options INTERFACE -fsanitize=address,undefined)
endif()

# Debian's hardening (stack protector, format checks, fortified functions, read-only relocations bound
# at start) where dpkg-buildflags exists and the target is Linux; the build type keeps choosing optimisation and debug
# information. Fortified functions need an optimising build, and the sanitizers want none of it.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS AND NOT VELMORA_SANITIZE AND NOT WIN32)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                                ${DPKG_BUILDFLAGS} --get ${kind}
                        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        list(FILTER flags EXCLUDE REGEX "^-(g.*|O.*|ffile-prefix-map=.*)$")
        set(hardening_${kind} ${flags})
    endforeach()
    target_compile_options(velmora_options INTERFACE ${hardening_CXXFLAGS}
        "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${hardening_CPPFLAGS}>")
    target_link_options(velmora_options INTERFACE ${hardening_LDFLAGS})
endif()
