#pragma once

#include "common/Exceptions.h"

namespace zw {

// Base of the worms module's failures; never raised itself.
class EWorm : public Exception {
public:
    using Exception::Exception;
};

// A gene file that cannot be read ("Not a Zwirbel ?").
class EInvalidFile : public EWorm {
public:
    EInvalidFile() : EWorm("Not a Zwirbel ?") {}
    using EWorm::EWorm;
};

// An index outside a table's bounds; the raiser gives the message.
class EBounds : public EWorm {
public:
    using EWorm::EWorm;
};

} // namespace zw
