#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "platform/WindowSystem.h"

// Everything the program knows of the operating system. main() gets one at start-up; tests
// build a simulated one per case.
class Platform {
public:
    virtual ~Platform() = default;
    virtual FileSystem& files() = 0;
    virtual ServiceControl& services() = 0;
    virtual Processes& processes() = 0;
    virtual Registry& registry() = 0;
    virtual Clock& clock() = 0;
    virtual WindowSystem& windows() = 0;
    virtual SystemInfo& system() = 0;
    // Takes the machine-wide "one setup at a time" lock for the life of this object; false when
    // another setup program holds it. The operating system releases it when the process dies.
    virtual bool acquireSetupLock() = 0;
    // The same for the setup program kept in the program folder while it hands over to its
    // copy: a lock of its own, since the copy takes the one above.
    virtual bool acquireKeptSetupLock() = 0;
};

// The machine this process runs on: Windows itself, or the simulated machine that the
// environment describes (ZIL_MACHINE, ZIL_CLOCK, ZIL_UI, ZIL_INPUT, ZIL_FAULTS, ZIL_DESKTOP). On
// Windows this also restricts the DLL search to System32 before anything else can load a
// library. Null, with the reason in `error`, when the environment cannot be understood.
std::unique_ptr<Platform> createPlatform(String& error);
