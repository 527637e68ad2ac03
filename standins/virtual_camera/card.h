#pragma once
// The card in the virtual camera: JPEG files with 8.3 names, each picture as
// "S" + seven characters + ".JPG" and its thumbnail file as "T" + the same seven, and
// the directory as the camera lists it: one record per picture. A card lives in memory
// or mirrors a folder; deleting from a folder card deletes the files.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::virtualcam {

// A directory record as the camera sends it (20 bytes on the wire).
struct CardRecord {
    std::array<char, 8> name{};
    std::array<char, 3> extension{'J', 'P', 'G'};
    std::uint8_t attributes = 0x20;  // archive
    std::uint16_t time = 0x6000;     // 12:00:00 in the FAT encoding
    std::uint16_t date = 0x2A21;     // 2001-01-01
    std::uint32_t size = 0;

    static constexpr std::size_t kSize = 20;
    void WriteTo(std::uint8_t* out) const;
};

class Card {
  public:
    // Thumbnail files are at least this long; their JPEG stream starts at the offset.
    static constexpr std::uint32_t kThumbnailFileSize = 28672;
    static constexpr std::uint32_t kThumbnailStreamOffset = 2123;

    Card() = default;
    // Every "S???????.JPG" and "T???????.JPG" of the folder (any letter case). Empty
    // when the folder cannot be read.
    static std::optional<Card> FromFolder(const std::filesystem::path& folder);

    // A picture and its thumbnail file under the seven characters `key`.
    void AddPicture(std::string_view key, std::vector<std::uint8_t> picture,
                    std::vector<std::uint8_t> thumbnailFile);
    // Any file, by its 8.3 name ("S1234567.JPG").
    void AddFile(std::string name, std::vector<std::uint8_t> bytes);
    // A thumbnail file for a JPEG stream: the stream at byte 2123, zero padding around
    // it up to 28672 bytes (or further if the stream needs it).
    static std::vector<std::uint8_t> MakeThumbnailFile(const std::vector<std::uint8_t>& jpeg);

    // The file's bytes, by 8.3 name (case-insensitive); null when there is none.
    const std::vector<std::uint8_t>* Find(std::string_view name) const;
    // Deletes the picture a file name belongs to: both its "S" and "T" files (and, for
    // a folder card, the files on disk). False when the named file does not exist.
    bool DeletePicture(std::string_view name);

    // What the camera lists. By default one record per "S" file, in the order the files
    // were added (folder: name order), showing `directoryLetter` as the first letter.
    std::vector<CardRecord> Directory() const;
    // Lists these records instead, whatever the files are.
    void SetDirectory(std::vector<CardRecord> records) { directory_ = std::move(records); }
    char directoryLetter = 'A';

    std::size_t fileCount() const { return files_.size(); }

  private:
    struct File {
        std::string name;  // upper case 8.3
        std::vector<std::uint8_t> bytes;
    };
    std::vector<File>::iterator Locate(std::string_view name);

    std::vector<File> files_;
    std::optional<std::vector<CardRecord>> directory_;
    std::optional<std::filesystem::path> folder_;
};

}  // namespace vx::virtualcam
