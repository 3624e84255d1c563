# Debian's hardening for the optimised builds that get packaged: stack
# protector, fortified libc calls, position-independent executables and a
# read-only relocation table resolved at start-up (full RELRO, BIND_NOW).
# Debug builds stay as they are, so a debugger sees unfortified code.
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
add_link_options("$<${_tavrin_optimised}:LINKER:-z,relro,-z,now>")
unset(_tavrin_optimised)
