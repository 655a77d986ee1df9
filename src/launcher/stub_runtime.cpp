// Lean replacements for two pieces of the C++ runtime, linked into the stubs
// only (every launcher file carries a stub, so its size counts).
//
// - The verbose terminate handler prints the type of an uncaught exception
//   and so brings the whole C++ name demangler (about 47 KB) along. The stub
//   catches what it can handle; whatever escapes ends the process as before.
// - The containers report impossible sizes and positions through the
//   std::__throw_* functions; the library's versions build std::logic_error
//   and friends, which bring the old reference-counted string and its
//   instantiations (about 50 KB). Here they throw one small exception type
//   derived from std::exception, which handlers for std::exception and (...)
//   still catch. Every function of that group is defined so that the
//   library's object is never needed.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

class StubLibraryError : public std::exception {
public:
    explicit StubLibraryError(const char* text) : text(text) {}
    const char* what() const noexcept override { return text; }

private:
    const char* text;
};

}  // namespace

namespace std {
void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_logic_error(const char* text) { throw StubLibraryError(text); }
void __throw_domain_error(const char* text) { throw StubLibraryError(text); }
void __throw_invalid_argument(const char* text) { throw StubLibraryError(text); }
void __throw_length_error(const char* text) { throw StubLibraryError(text); }
void __throw_out_of_range(const char* text) { throw StubLibraryError(text); }
void __throw_out_of_range_fmt(const char* format, ...) { throw StubLibraryError(format); }
void __throw_runtime_error(const char* text) { throw StubLibraryError(text); }
void __throw_range_error(const char* text) { throw StubLibraryError(text); }
void __throw_overflow_error(const char* text) { throw StubLibraryError(text); }
void __throw_underflow_error(const char* text) { throw StubLibraryError(text); }
}  // namespace std
