#include "camera/sim/sim_config.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <string>

namespace {

struct FamilyDefault {
    std::string_view name;
    int count;
};
constexpr std::array<FamilyDefault, 6> kFamilies{
    {{"maker", 1}, {"maker-usb2", 0}, {"mc-a", 1}, {"mc-b", 1}, {"mc-c", 1}, {"mc-d", 1}}};

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

namespace {

// Calls use(count text, fault text) for each item of the family, in order; "none" as ("0", "").
template <class Use>
void ForEachItem(const char* value, std::string_view family, Use use) {
    std::string_view rest(value ? value : "");
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = Trim(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (item == "none") {
            use(std::string_view("0"), std::string_view());
            continue;
        }
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos || Trim(item.substr(0, eq)) != family) continue;
        std::string_view number = Trim(item.substr(eq + 1)), fault;
        if (const size_t colon = number.find(':'); colon != std::string_view::npos) {
            fault = Trim(number.substr(colon + 1));
            number = Trim(number.substr(0, colon));
        }
        use(number, fault);
    }
}

}  // namespace

SimCameraFault SimCameraFaultIn(const char* value, std::string_view family) {
    SimCameraFault fault = SimCameraFault::None;
    ForEachItem(value, family, [&](std::string_view, std::string_view f) {
        fault = f == "busy" ? SimCameraFault::Busy : f == "silent" ? SimCameraFault::Silent : SimCameraFault::None;
    });
    return fault;
}

SimCameraFault SimCameraFaultOf(std::string_view family) {
    return SimCameraFaultIn(std::getenv(kSimCamerasVariable), family);
}

int SimCameraCountIn(const char* value, std::string_view family) {
    const auto it = std::find_if(kFamilies.begin(), kFamilies.end(),
                                 [&](const FamilyDefault& f) { return f.name == family; });
    if (it == kFamilies.end()) return 0;
    int count = it->count;
    if (!value) return count;
    ForEachItem(value, family, [&](std::string_view number, std::string_view) {
        long n = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
        if (ec == std::errc::result_out_of_range && !number.empty()) {
            // Digits that overflow still say "many" or "none": clamp them as well.
            n = number.front() == '-' ? 0 : kSimMaxCamerasPerFamily;
        } else if (ec != std::errc() || end != number.data() + number.size()) {
            return;
        }
        count = static_cast<int>(std::clamp<long>(n, 0, kSimMaxCamerasPerFamily));
    });
    return count;
}

int SimCameraCount(std::string_view family) {
    return SimCameraCountIn(std::getenv(kSimCamerasVariable), family);
}
