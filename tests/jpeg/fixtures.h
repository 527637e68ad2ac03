#pragma once
// The test pictures: the small ones committed beside the tests and the large ones
// the build generates (see scripts/make-jpeg-fixtures).

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace vx::test {

inline std::vector<std::string> FixturePaths() {
    std::vector<std::string> paths;
    for (const char* dir : {VX_JPEG_FIXTURES, VX_JPEG_LARGE_FIXTURES}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            if (entry.path().extension() == ".jpg") {
                paths.push_back(entry.path().string());
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

inline std::string FixtureName(const std::string& path) {
    std::string name = std::filesystem::path(path).stem().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

}  // namespace vx::test
