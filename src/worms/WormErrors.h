#pragma once

#include "common/Exceptions.h"

#include <functional>
#include <string>

namespace zw {

// Base of the worms module's failures; never raised itself.
class EWorm : public Exception {
public:
    using Exception::Exception;
};

// A gene file that cannot be read ("Not a Zwirbel ?").
class EInvalidFile : public EWorm {
public:
    using EWorm::EWorm;
};

// An index outside a table's bounds; the raiser gives the message.
class EBounds : public EWorm {
public:
    using EWorm::EWorm;
};

// Worms react to mouse presses and drops from inside Qt's event loop, where no
// exception may escape. A failure raised there (typically by an OnWormChanged
// listener) goes to this handler instead; the host installs its error display.
// Without a handler the message goes to qWarning.
using TWormErrorHandler = std::function<void(const std::string& message)>;
void SetWormErrorHandler(TWormErrorHandler handler);

// Runs `action`, handing any exception's message to the error handler.
void RunWormGuarded(const std::function<void()>& action);

} // namespace zw
