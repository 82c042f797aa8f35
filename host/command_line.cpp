#include "command_line.h"

namespace Miruton {

namespace {

bool AboveSpace(char c) {
    return static_cast<unsigned char>(c) > ' ';
}

// Steps over the switch letter and then over spaces (only the character 32).
std::string_view AfterSwitch(std::string_view rest) {
    rest.remove_prefix(1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    return rest;
}

}  // namespace

std::string_view ArgumentText(std::string_view commandLine) {
    std::size_t pos = 0;
    if (pos < commandLine.size() && commandLine[pos] == '"') {
        ++pos;
        while (pos < commandLine.size() && commandLine[pos] != '"') ++pos;
        if (pos < commandLine.size()) ++pos;  // the closing quote
    } else {
        while (pos < commandLine.size() && AboveSpace(commandLine[pos])) ++pos;
    }
    while (pos < commandLine.size() && !AboveSpace(commandLine[pos])) ++pos;
    return commandLine.substr(pos);
}

std::uint32_t ParseWindowHandle(std::string_view text) {
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

ModeSelection SelectMode(std::string_view arguments) {
    while (!arguments.empty() &&
           (arguments.front() == ' ' || arguments.front() == '-' || arguments.front() == '/'))
        arguments.remove_prefix(1);
    if (arguments.empty()) return {SaverMode::About, 0};

    switch (arguments.front()) {
        case 'S':
        case 's':
            return {SaverMode::Show, 0};
        case 'P':
        case 'p':
        case 'L':
        case 'l':
            return {SaverMode::Preview, ParseWindowHandle(AfterSwitch(arguments))};
        case 'A':
        case 'a':
            return {SaverMode::ChangePassword, ParseWindowHandle(AfterSwitch(arguments))};
        case 'C':
        case 'c':
            // Only "C:" carries an owner; a number after a blank is not read.
            if (arguments.size() > 1 && arguments[1] == ':')
                return {SaverMode::Configure, ParseWindowHandle(arguments.substr(2))};
            return {SaverMode::Configure, 0};
        default:
            return {SaverMode::Invalid, 0};
    }
}

}  // namespace Miruton
