#include "engine/fat/DiskPath.h"

namespace tamberlane {

DiskPath DiskPath::appending(const std::string& component) const {
    DiskPath p = *this;
    p.components.push_back(component);
    return p;
}

DiskPath DiskPath::parent() const {
    DiskPath p = *this;
    if (!p.components.empty()) {
        p.components.pop_back();
    }
    return p;
}

std::string DiskPath::displayString() const {
    if (components.empty()) {
        return "/";
    }
    std::string out;
    for (const std::string& c : components) {
        out += "/" + c;
    }
    return out;
}

DiskPath DiskPath::fromString(const std::string& text) {
    DiskPath p;
    std::string current;
    for (char c : text) {
        if (c == '/') {
            if (!current.empty()) {
                p.components.push_back(current);
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        p.components.push_back(current);
    }
    return p;
}

} // namespace tamberlane
