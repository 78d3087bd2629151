// libstdc++'s default terminate handler prints the exception's demangled type to stderr before
// it calls abort(). A GUI-subsystem process has no stderr, so the message goes nowhere, yet the
// demangler and the printf machinery behind it are a third of the executable. This definition
// takes the library's place at static link time and does what remains of its job: abort().
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

}  // namespace __gnu_cxx
