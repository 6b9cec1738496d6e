#pragma once

#include "common/Exceptions.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <sys/eventfd.h>
#include <unistd.h>

namespace zw {

// A wake-up that any thread may signal, a real-time one too: signalling is
// one write to an eventfd, with no lock and no allocation. The waiting side
// polls Fd() (or hands it to an event loop) and drains it.
class TWakeEvent {
public:
    explicit TWakeEvent(const char* owner)
        : FFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (FFd < 0)
            throw Exception(std::string(owner) + " cannot start: " + std::strerror(errno));
    }
    ~TWakeEvent() { close(FFd); }
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;

    int Fd() const noexcept { return FFd; }

    void Signal() const noexcept
    {
        const uint64_t one = 1;
        // Fails only when the counter is full, and then the waiter wakes anyway.
        [[maybe_unused]] const ssize_t written = write(FFd, &one, sizeof one);
    }

    // Takes every signal given so far.
    void Drain() const noexcept
    {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t taken = read(FFd, &count, sizeof count);
    }

private:
    const int FFd;
};

} // namespace zw
