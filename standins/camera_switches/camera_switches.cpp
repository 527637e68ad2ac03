#include "standins/camera_switches/camera_switches.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>

namespace vx::virtualcam {
namespace {

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty())
        return {};
    return value;
}

std::optional<Fault> ParseFault(std::string_view text) {
    std::optional<std::uint32_t> command;
    if (const auto at = text.find('@'); at != std::string_view::npos) {
        command = ParseNumber(text.substr(at + 1));
        if (!command || *command == 0 || *command > 0xFF)
            return {};
        text = text.substr(0, at);
    }
    Fault fault;
    if (text == "once") {
        fault = Fault::Once();
    } else if (text == "always") {
        fault = Fault::Always();
    } else {
        const auto n = ParseNumber(text);
        if (!n || *n > 1'000'000)
            return {};
        fault = Fault::Times(static_cast<int>(*n));
    }
    if (command)
        fault.OnCommand(static_cast<std::uint8_t>(*command));
    return fault;
}

// One setter per name: true when the value was good.
using Setter = std::function<bool(std::string_view)>;

Setter FaultSetter(Fault& fault) {
    return [&fault](std::string_view value) {
        const auto parsed = ParseFault(value);
        if (parsed)
            fault = *parsed;
        return parsed.has_value();
    };
}

template <typename T>
Setter NumberSetter(T& field) {
    return [&field](std::string_view value) {
        const auto parsed = ParseNumber(value);
        if (!parsed || *parsed > std::numeric_limits<T>::max())
            return false;
        field = static_cast<T>(*parsed);
        return true;
    };
}

template <typename T>
Setter OptionalNumberSetter(std::optional<T>& field) {
    return [&field](std::string_view value) {
        const auto parsed = ParseNumber(value);
        if (!parsed || *parsed > std::numeric_limits<T>::max())
            return false;
        field = static_cast<T>(*parsed);
        return true;
    };
}

bool Apply(std::string_view text, const std::map<std::string_view, Setter>& setters,
           std::string& error) {
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty())
            continue;
        const auto equals = item.find('=');
        const std::string_view name = item.substr(0, equals);
        const auto setter = setters.find(name);
        if (setter == setters.end()) {
            error = "unknown switch '" + std::string(name) + "'";
            return false;
        }
        if (equals == std::string_view::npos || !setter->second(item.substr(equals + 1))) {
            error = "bad value in '" + std::string(item) + "'";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseUsbFaults(std::string_view text, UsbFaults& f, std::string& error) {
    const std::map<std::string_view, Setter> setters = {
        {"busy", FaultSetter(f.busy)},
        {"statusFails", FaultSetter(f.statusFails)},
        {"dirLengthFails", FaultSetter(f.dirLengthFails)},
        {"dirBlockFails", FaultSetter(f.dirBlockFails)},
        {"blockShort", FaultSetter(f.blockShort)},
        {"shortBytes", NumberSetter(f.shortBytes)},
        {"blockFails", FaultSetter(f.blockFails)},
        {"deleteFails", FaultSetter(f.deleteFails)},
        {"directoryLength", OptionalNumberSetter(f.directoryLength)},
        {"recordCount", OptionalNumberSetter(f.recordCount)},
    };
    return Apply(text, setters, error);
}

bool ParseSerialFaults(std::string_view text, SerialFaults& f, std::string& error) {
    const std::map<std::string_view, Setter> setters = {
        {"noProbeAnswer", FaultSetter(f.noProbeAnswer)},
        {"wrongProbeAnswer", FaultSetter(f.wrongProbeAnswer)},
        {"probeAnswer", NumberSetter(f.probeAnswer)},
        {"silent", FaultSetter(f.silent)},
        {"badStatus", FaultSetter(f.badStatus)},
        {"status", NumberSetter(f.status)},
        {"noStatus", FaultSetter(f.noStatus)},
        {"wrongCount", FaultSetter(f.wrongCount)},
        {"count", NumberSetter(f.count)},
        {"shortRecord", FaultSetter(f.shortRecord)},
        {"shortRecordIndex", NumberSetter(f.shortRecordIndex)},
        {"shortRecordBytes", NumberSetter(f.shortRecordBytes)},
        {"shortBlock", FaultSetter(f.shortBlock)},
        {"shortBlockBytes", NumberSetter(f.shortBlockBytes)},
        {"wrongTrailer", FaultSetter(f.wrongTrailer)},
        {"trailer", NumberSetter(f.trailer)},
        {"late", FaultSetter(f.late)},
        {"lateMs", NumberSetter(f.lateMs)},
        {"lateFromByte", NumberSetter(f.lateFromByte)},
    };
    return Apply(text, setters, error);
}

}  // namespace vx::virtualcam
