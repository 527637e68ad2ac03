#include "standins/virtual_camera/card.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace vx::virtualcam {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "S1234567.JPG" or "T1234567.JPG", any case.
bool IsCardName(const std::string& upper) {
    return upper.size() == 12 && (upper[0] == 'S' || upper[0] == 'T') &&
           upper.compare(8, 4, ".JPG") == 0;
}

std::string_view Key(std::string_view name) {
    return name.substr(1, 7);
}

}  // namespace

void CardRecord::WriteTo(std::uint8_t* out) const {
    std::memcpy(out, name.data(), 8);
    std::memcpy(out + 8, extension.data(), 3);
    out[11] = attributes;
    out[12] = static_cast<std::uint8_t>(time);
    out[13] = static_cast<std::uint8_t>(time >> 8);
    out[14] = static_cast<std::uint8_t>(date);
    out[15] = static_cast<std::uint8_t>(date >> 8);
    for (int i = 0; i < 4; ++i)
        out[16 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

std::optional<Card> Card::FromFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error)
        return std::nullopt;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : it) {
        if (entry.is_regular_file(error) && IsCardName(Upper(entry.path().filename().string()))) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
        return Upper(a.filename().string()) < Upper(b.filename().string());
    });
    Card card;
    card.folder_ = folder;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        card.files_.push_back({Upper(path.filename().string()), std::move(bytes)});
    }
    return card;
}

void Card::AddPicture(std::string_view key, std::vector<std::uint8_t> picture,
                      std::vector<std::uint8_t> thumbnailFile) {
    const std::string seven = Upper(key.substr(0, 7));
    AddFile("S" + seven + ".JPG", std::move(picture));
    AddFile("T" + seven + ".JPG", std::move(thumbnailFile));
}

void Card::AddFile(std::string name, std::vector<std::uint8_t> bytes) {
    files_.push_back({Upper(name), std::move(bytes)});
}

std::vector<std::uint8_t> Card::MakeThumbnailFile(const std::vector<std::uint8_t>& jpeg) {
    std::vector<std::uint8_t> file(
        std::max<std::size_t>(kThumbnailFileSize, kThumbnailStreamOffset + jpeg.size()), 0);
    std::copy(jpeg.begin(), jpeg.end(), file.begin() + kThumbnailStreamOffset);
    return file;
}

std::vector<Card::File>::iterator Card::Locate(std::string_view name) {
    const std::string upper = Upper(name);
    return std::find_if(files_.begin(), files_.end(),
                        [&](const File& f) { return f.name == upper; });
}

const std::vector<std::uint8_t>* Card::Find(std::string_view name) const {
    const std::string upper = Upper(name);
    for (const File& f : files_) {
        if (f.name == upper)
            return &f.bytes;
    }
    return nullptr;
}

bool Card::DeletePicture(std::string_view name) {
    if (Locate(name) == files_.end())
        return false;
    const std::string key(Key(Upper(name)));
    for (const char letter : {'S', 'T'}) {
        auto it = Locate(std::string(1, letter) + key + ".JPG");
        if (it == files_.end())
            continue;
        if (folder_) {
            // The folder's own spelling may differ in case: remove what matches.
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(*folder_, error)) {
                if (Upper(entry.path().filename().string()) == it->name) {
                    std::filesystem::remove(entry.path(), error);
                }
            }
        }
        files_.erase(it);
    }
    if (directory_) {
        std::erase_if(*directory_, [&](const CardRecord& r) {
            return std::string_view(r.name.data() + 1, 7) == key;
        });
    }
    return true;
}

std::vector<CardRecord> Card::Directory() const {
    if (directory_)
        return *directory_;
    std::vector<CardRecord> records;
    for (const File& f : files_) {
        if (!IsCardName(f.name) || f.name[0] != 'S')
            continue;
        CardRecord r;
        r.name[0] = directoryLetter;
        std::memcpy(r.name.data() + 1, f.name.data() + 1, 7);
        r.size = static_cast<std::uint32_t>(f.bytes.size());
        records.push_back(r);
    }
    return records;
}

}  // namespace vx::virtualcam
