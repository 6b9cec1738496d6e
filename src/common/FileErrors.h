#pragma once

#include "common/Exceptions.h"

namespace zw {

// Base of the failures of reading the program's files (gene files, rule
// tables); never raised itself. The name is kept from the gene files, which
// raised these first.
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
