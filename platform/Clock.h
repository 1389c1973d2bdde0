#pragma once

#include <cstdint>
#include "text/StringType.h"

class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    // Milliseconds since an arbitrary start; only differences mean anything.
    virtual std::uint64_t now() = 0;
    // The local date and time as "YYYY-MM-DD HH:MM:SS", for logs.
    virtual String localTimestamp() = 0;
};
