// The C++ runtime's default terminate handler prints the type of an uncaught
// exception to standard error, and links in a whole symbol demangler for it
// (about 50 KB). A GUI program has no standard error to print to, and the
// engine catches every exception it throws within the slice, so a plain
// abort is all that is needed.
#include <stdlib.h>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    abort();
}
} // namespace __gnu_cxx
