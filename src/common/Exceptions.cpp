#include "Exceptions.h"

#include <cstring>

namespace zw {

EInOutError::EInOutError(int errorNumber) : Exception(std::strerror(errorNumber)) {}

} // namespace zw
