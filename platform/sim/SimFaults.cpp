#include "platform/sim/SimFaults.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "paths/WindowsPaths.h"

namespace {

constexpr const char* theKindNames[] = {
    "open",      "read",    "write",    "seek",       "mkdir",      "move",        "delete",
    "exec",      "system",  "svc-open", "svc-create", "svc-start",  "svc-control", "svc-delete",
    "svc-query", "restart", "reg-read", "reg-write",  "reg-delete",
};
static_assert(std::size(theKindNames) == static_cast<std::size_t>(SimFaultKind::Count));

bool ParseNumber(std::string_view text, long long& value) {
    if (text.empty()) {
        return false;
    }
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc() && end == text.data() + text.size();
}

// Splits "KIND[GLOB]@N" into its kind, its glob ("" for none) and its call number, "1" when a
// selector stands without one.
bool SplitTarget(std::string_view target, std::string_view& kind, std::string& glob,
                 std::string_view& nth, std::string& error) {
    std::size_t open = target.find('[');
    if (open == std::string_view::npos) {
        std::size_t at = target.find('@');
        if (at == std::string_view::npos) {
            error = "expected KIND@N=ERROR";
            return false;
        }
        kind = target.substr(0, at);
        nth = target.substr(at + 1);
        return true;
    }
    std::size_t close = target.find(']', open);
    if (close == std::string_view::npos || close == open + 1) {
        error = "expected KIND[GLOB]@N=ERROR, GLOB not empty";
        return false;
    }
    kind = target.substr(0, open);
    glob = std::string(target.substr(open + 1, close - open - 1));
    std::string_view rest = target.substr(close + 1);
    if (!rest.empty() && rest.front() != '@') {
        error = "expected KIND[GLOB]@N=ERROR";
        return false;
    }
    nth = rest.empty() ? std::string_view("1") : rest.substr(1);
    return true;
}

bool ParseOne(std::string_view item, SimFault& fault, std::string& error) {
    // A glob may hold '@' and '=': the result starts at the first '=' after it.
    std::size_t close = item.find('[') == std::string_view::npos ? 0 : item.find(']');
    std::size_t equals = item.find('=', close == std::string_view::npos ? 0 : close);
    if (equals == std::string_view::npos) {
        error = "expected KIND@N=ERROR";
        return false;
    }
    std::string_view kind;
    std::string_view nth;
    if (!SplitTarget(item.substr(0, equals), kind, fault.subject, nth, error)) {
        return false;
    }
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

// The length of the item that starts `rest`: up to the first comma outside a glob.
std::size_t ItemLength(std::string_view rest) {
    bool inGlob = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '[' || rest[i] == ']') {
            inGlob = rest[i] == '[';
        } else if (rest[i] == ',' && !inGlob) {
            return i;
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool ParseSimFaults(const std::string& text, std::vector<SimFault>& faults, std::string& error) {
    faults.clear();
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t comma = ItemLength(rest);
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

SimFault SimFaultAt(SimFaultKind kind, std::string glob, Win32Error error, bool fromThenOn) {
    return SimFault{kind, 1, error, fromThenOn, false, std::move(glob)};
}

bool SimFaultCounts(const SimFault& fault, std::string_view subject) {
    return fault.subject.empty() || MatchesWildcard(fault.subject, subject);
}
