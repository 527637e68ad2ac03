#include "cleaner/uninstall_command.h"

namespace vx {
namespace {

std::string PlainCommandLine(const std::string& program) {
    if (program.find(' ') == std::string::npos)
        return program;
    return '"' + program + '"';
}

}  // namespace

UninstallLaunch SplitUninstallCommand(const std::string& command) {
    std::string program;
    std::string remainder;
    if (!command.empty() && command.front() == '"') {
        const auto close = command.find('"', 1);
        if (close == std::string::npos) {
            program = command.substr(1);
        } else {
            program = command.substr(1, close - 1);
            std::size_t rest = close + 1;
            if (rest < command.size() && command[rest] == ' ')
                ++rest;
            remainder = command.substr(rest);
        }
    } else {
        const auto blank = command.find(' ');
        if (blank == std::string::npos) {
            program = command;
        } else {
            program = command.substr(0, blank);
            remainder = command.substr(blank + 1);
        }
    }
    if (remainder.empty())
        return {program, PlainCommandLine(program)};
    return {program, remainder + ' ' + remainder};
}

}  // namespace vx
