#include "platform/sim/SimFaults.h"

#include <charconv>
#include <string_view>

namespace {

constexpr const char* theKindNames[] = {
    "open",        "read",       "write",     "seek",     "mkdir",      "move",
    "delete",      "exec",       "system",    "svc-open", "svc-create", "svc-start",
    "svc-control", "svc-delete", "svc-query", "restart",  "reg-read",   "reg-write",
    "reg-delete",
};
static_assert(std::size(theKindNames) == static_cast<std::size_t>(SimFaultKind::Count));

bool ParseNumber(std::string_view text, long long& value) {
    if (text.empty()) {
        return false;
    }
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc() && end == text.data() + text.size();
}

bool ParseOne(std::string_view item, SimFault& fault, std::string& error) {
    std::size_t at = item.find('@');
    std::size_t equals = item.find('=');
    if (at == std::string_view::npos || equals == std::string_view::npos || equals < at) {
        error = "expected KIND@N=ERROR";
        return false;
    }
    std::string_view kind = item.substr(0, at);
    std::string_view nth = item.substr(at + 1, equals - at - 1);
    std::string_view result = item.substr(equals + 1);
    fault.fromThenOn = !result.empty() && result.back() == '+';
    if (fault.fromThenOn) {
        result.remove_suffix(1);
    }
    fault.kind = SimFaultKind::Count;
    for (std::size_t k = 0; k < std::size(theKindNames); ++k) {
        if (kind == theKindNames[k]) {
            fault.kind = static_cast<SimFaultKind>(k);
        }
    }
    if (fault.kind == SimFaultKind::Count) {
        error = "unknown kind \"" + std::string(kind) + "\"";
        return false;
    }
    long long number = 0;
    if (!ParseNumber(nth, number) || number < 1 || number > 1000000000) {
        error = "N must be a call number from 1";
        return false;
    }
    fault.nth = static_cast<int>(number);
    fault.kill = result == "kill";
    if (fault.kill) {
        return true;
    }
    if (!ParseNumber(result, number) || number < 1 || number > 0xFFFFFFFFll) {
        error = "ERROR must be a Win32 error number above 0, or kill";
        return false;
    }
    fault.error = static_cast<Win32Error>(number);
    return true;
}

}  // namespace

bool ParseSimFaults(const std::string& text, std::vector<SimFault>& faults, std::string& error) {
    faults.clear();
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        SimFault fault;
        if (!ParseOne(item, fault, error)) {
            error = "ZIL_FAULTS: \"" + std::string(item) + "\": " + error;
            faults.clear();
            return false;
        }
        faults.push_back(fault);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (comma != std::string_view::npos && rest.empty()) {
            error = "ZIL_FAULTS: a comma must be followed by a fault";
            faults.clear();
            return false;
        }
    }
    return true;
}

const char* SimFaultKindName(SimFaultKind kind) {
    return kind < SimFaultKind::Count ? theKindNames[static_cast<std::size_t>(kind)] : "?";
}
