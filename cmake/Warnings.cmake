# The compiler warnings of every target, as errors unless QM_WERROR is off:
# each target takes them by linking qm_warnings (PRIVATE, so that they never
# reach a target that links it).
option(QM_WERROR "Treat warnings as errors" ON)
add_library(qm_warnings INTERFACE)
target_compile_options(qm_warnings INTERFACE -Wall -Wextra $<$<BOOL:${QM_WERROR}>:-Werror>)
