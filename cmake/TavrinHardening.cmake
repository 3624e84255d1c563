# Debian's hardening for the optimised builds that get packaged: stack
# protector, fortified libc calls, position-independent executables and a
# read-only relocation table resolved at start-up (full RELRO, BIND_NOW).
# Debug builds stay as they are, so a debugger sees unfortified code. The
# Windows build gets the same compiler flags and its linker's counterparts.
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

set(_tavrin_optimised "$<CONFIG:Release,RelWithDebInfo>")
add_compile_options(
    "$<${_tavrin_optimised}:-fstack-protector-strong>"
    "$<${_tavrin_optimised}:-Werror=format-security>"
    # Undefined first, so a toolchain that already sets another level does not warn.
    "$<${_tavrin_optimised}:-U_FORTIFY_SOURCE>"
    "$<${_tavrin_optimised}:-D_FORTIFY_SOURCE=2>")
if(WIN32)
    # The PE equivalents: address-space randomisation (also above 4 GiB) and a
    # non-executable data section.
    add_link_options(LINKER:--dynamicbase,--nxcompat,--high-entropy-va)
    # mingw-w64 keeps the stack protector's runtime in libssp, which the
    # driver links only when told of the protector at link time too.
    add_link_options("$<${_tavrin_optimised}:-fstack-protector-strong>")
else()
    add_link_options("$<${_tavrin_optimised}:LINKER:-z,relro,-z,now>")
endif()
unset(_tavrin_optimised)
