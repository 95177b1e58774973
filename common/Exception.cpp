#include "common/Exception.h"

namespace varnok {

// Never inlined, so that the return address is in the function that raises
// the error (error classes inherit this constructor and inline it).
__attribute__((noinline)) Exception::Exception(const std::string& message)
    : std::runtime_error(message), address_(__builtin_extract_return_addr(__builtin_return_address(0))) {}

} // namespace varnok
