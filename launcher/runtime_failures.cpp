// The launcher is built without exceptions. The C++ library still reports two kinds of failure:
// memory that cannot be had, and the errors it would otherwise throw (a length error when a
// string would grow past its maximum, and the like). Both take the launcher's one road for a
// failure that abandons the launch: the "Abnormal program termination" box and exit code 3.
//
// Defining these here, at static link time, also keeps the library's throwing versions out of
// the executable, and with them the exception classes, the unwinder and the string
// instantiations they drag in. Built into KELMORA.exe only: the unit tests keep the library's own.
#include <cstdlib>
#include <new>

#include "launcher/failure_reporting.h"

// The replaceable global allocation functions. malloc never throws; a null result is memory
// exhausted. The nothrow and aligned forms are not used by the launcher.
void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    launcher::ReportAbnormalTermination();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t /*size*/) noexcept { std::free(memory); }

// libstdc++'s hooks for the exceptions its headers would throw: all fifteen of the library
// member that defines them, so that member is never linked. The message is never shown.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp,cert-dcl50-cpp): the library's names and signatures
namespace std {

void __throw_bad_exception() { launcher::ReportAbnormalTermination(); }
void __throw_bad_alloc() { launcher::ReportAbnormalTermination(); }
void __throw_bad_array_new_length() { launcher::ReportAbnormalTermination(); }
void __throw_bad_cast() { launcher::ReportAbnormalTermination(); }
void __throw_bad_typeid() { launcher::ReportAbnormalTermination(); }
void __throw_logic_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_domain_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_invalid_argument(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_length_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_out_of_range(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_out_of_range_fmt(const char* /*format*/, ...) { launcher::ReportAbnormalTermination(); }
void __throw_runtime_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_range_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_overflow_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }
void __throw_underflow_error(const char* /*what*/) { launcher::ReportAbnormalTermination(); }

}  // namespace std
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp,cert-dcl50-cpp)
