# The compiler warnings of every target, as errors unless QM_WERROR is off.
option(QM_WERROR "Treat warnings as errors" ON)
set(QM_WARNINGS -Wall -Wextra)
if(QM_WERROR)
  list(APPEND QM_WARNINGS -Werror)
endif()
