#include "tests/camera/camera_rig.h"

#include <cstdio>

namespace vx::testing {
namespace {

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

}  // namespace

std::vector<std::string> Describe(const std::vector<vc::UsbCall>& calls) {
    std::vector<std::string> out;
    for (const vc::UsbCall& c : calls) {
        using K = vc::UsbCall::Kind;
        std::string s;
        switch (c.kind) {
            case K::Lock:
                s = "Lock";
                break;
            case K::Unlock:
                s = "Unlock";
                break;
            case K::Subscribe:
                s = "Subscribe";
                break;
            case K::UnSubscribe:
                s = "UnSubscribe";
                break;
            case K::Reset:
                s = "Reset";
                break;
            case K::GetStatus:
                s = "GetStatus";
                break;
            case K::Escape: {
                char code[16];
                std::snprintf(code, sizeof code, "%x", c.code);
                s = std::string("Escape ") + code;
                if (c.input.size() == 24) {
                    s += " @" + std::to_string(Le32(c.input, 4)) + "+" +
                         std::to_string(Le32(c.input, 8));
                    const char* name = reinterpret_cast<const char*>(c.input.data() + 12);
                    if (name[0] != '\0')
                        s += " " + std::string(name, 8);
                }
                break;
            }
        }
        if (!c.succeeded)
            s += " failed";
        out.push_back(s);
    }
    return out;
}

std::string Names(const PictureList& list) {
    std::string s;
    for (const PictureNode& n : list) {
        if (!s.empty())
            s += " ";
        s += std::string(n.pictureName.data(), 8) + "/" + std::string(n.thumbnailName.data(), 8) +
             ":" + std::to_string(n.pictureSize);
    }
    return s;
}

}  // namespace vx::testing
