// The host program's platform: the simulated machine that the environment describes, with the
// dialog drawn on the terminal for ZIL_UI=text.
#include <memory>
#include <string>

#include <unistd.h>

#include "demo/TerminalFrontEnd.h"
#include "platform/sim/SimPlatform.h"

std::unique_ptr<Platform> createPlatform(std::string& error) {
    SimConfig config;
    if (!SimConfig::fromEnvironment(config, error)) {
        return nullptr;
    }
    std::unique_ptr<SimFrontEnd> frontEnd;
    if (config.ui == SimUi::Text) {
        frontEnd = std::make_unique<TerminalFrontEnd>(STDIN_FILENO, stdout);
    }
    return std::make_unique<SimPlatform>(std::move(config), std::move(frontEnd));
}
