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

int SimCameraCountIn(const char* value, std::string_view family) {
    const auto it = std::find_if(kFamilies.begin(), kFamilies.end(),
                                 [&](const FamilyDefault& f) { return f.name == family; });
    if (it == kFamilies.end()) return 0;
    int count = it->count;
    if (!value) return count;
    std::string_view rest(value);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = Trim(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (item == "none") {
            count = 0;
            continue;
        }
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos || Trim(item.substr(0, eq)) != family) continue;
        const std::string_view number = Trim(item.substr(eq + 1));
        long n = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
        if (ec == std::errc::result_out_of_range && !number.empty()) {
            // Digits that overflow still say "many" or "none": clamp them as well.
            n = number.front() == '-' ? 0 : kSimMaxCamerasPerFamily;
        } else if (ec != std::errc() || end != number.data() + number.size()) {
            continue;
        }
        count = static_cast<int>(std::clamp<long>(n, 0, kSimMaxCamerasPerFamily));
    }
    return count;
}

int SimCameraCount(std::string_view family) {
    return SimCameraCountIn(std::getenv(kSimCamerasVariable), family);
}
