// camtool: lists, fetches and deletes the camera's pictures from the command line,
// through the same camera link as the browser. The link's messages are printed on
// stdout instead of shown in boxes; download progress goes to stderr; any failure
// ends with a non-zero exit status.
//
//   camtool [--usb | --serial] list               one line per picture: name and size
//   camtool [--usb | --serial] thumbs DIR         thumbnails as DIR\NAME.bmp
//   camtool [--usb | --serial] get NAME... DIR    pictures as DIR\NAME.jpg (a thumbnail
//                                                 name gives its first 28672 bytes)
//   camtool [--usb | --serial] delete NAME...
// Without --usb or --serial the link is chosen as at the browser's start-up.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"
#include "camera/win/serial_port_win.h"
#include "camera/win/still_image_win.h"
#include "dib/bitmap_info_header.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] =
    "usage: camtool [--usb | --serial] list\n"
    "       camtool [--usb | --serial] thumbs DIR\n"
    "       camtool [--usb | --serial] get NAME... DIR\n"
    "       camtool [--usb | --serial] delete NAME...\n";

void Print(std::FILE* stream, const std::string& line) {
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

class ConsoleUser final : public vx::UserSide {
  public:
    void ShowMessage(const std::string& text) override { Print(stdout, text); }
    // The browser would close; the tool gives up.
    void RunExitCommand() override { exitRequested = true; }
    void SetSerialButtonPushed(bool) override {}
    void RepaintSerialButton() override {}
    void RepaintUsbButton() override {}

    bool exitRequested = false;
};

// The progress window as one line on stderr, rewritten in place.
class ConsoleProgress final : public vx::Progress {
  public:
    void SetRange(std::int32_t low, std::int32_t high) override {
        low_ = low;
        high_ = high;
        position_ = low;
    }
    void SetStep(std::int32_t step) override { step_ = step; }
    void StepIt() override {
        position_ += step_;
        Draw();
    }
    void SetText(const std::string& text) override {
        text_ = text;
        Draw();
    }
    void Show() override {
        shown_ = true;
        Draw();
    }
    void Hide() override {
        if (shown_)
            std::fputc('\n', stderr);
        shown_ = false;
    }

  private:
    void Draw() {
        if (!shown_)
            return;
        // Blocks done of all blocks, as far as a progress bar would show them.
        const std::int32_t total = std::max(high_ - low_ + 1, 0);
        const std::int32_t done = std::clamp(position_ - low_, 0, total);
        std::fprintf(stderr, "\r%s [%d/%d]   ", text_.c_str(), done, total);
        std::fflush(stderr);
    }

    std::int32_t low_ = 0, high_ = 0, position_ = 0, step_ = 1;
    std::string text_;
    bool shown_ = false;
};

bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A .bmp file: the 14-byte file header, then the packed bitmap as it is.
bool WriteBitmapFile(const std::string& path, const vx::DibImage& image) {
    const std::span<const std::uint8_t> dib = image.bytes();
    const std::uint32_t fileSize = static_cast<std::uint32_t>(14 + dib.size());
    const std::uint32_t pixelsAt = 14 + vx::BitmapInfoHeader::kSize;
    std::vector<std::uint8_t> file = {'B', 'M'};
    for (const std::uint32_t value : {fileSize, 0u, pixelsAt}) {
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    file.insert(file.end(), dib.begin(), dib.end());
    return WriteFile(path, file);
}

std::string InFolder(const std::string& folder, const std::string& file) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/')
        return folder + file;
    return folder + "\\" + file;
}

// The folder and any missing folders above it.
bool MakeFolder(const std::string& folder) {
    for (std::size_t at = folder.find_first_of("\\/", 3); at != std::string::npos;
         at = folder.find_first_of("\\/", at + 1)) {
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class Tool {
  public:
    Tool()
        : link_({.stillImage = stillImage_,
                 .serialPorts = &serialPorts_,
                 .clock = clock_,
                 .user = user_,
                 .catalogue = catalogue_}) {}

    bool Open(std::string_view choice) {
        if (choice == "--usb") {
            link_.OpenUsbLink();
            if (link_.mode() == vx::LinkMode::Usb)
                return true;
            Print(stdout, vx::kTextNoUsbCamera);
            return false;
        }
        if (choice == "--serial") {
            link_.OpenSerialLink();
            if (link_.mode() == vx::LinkMode::Serial)
                return true;
            Print(stdout, vx::kTextNoSerialCamera);
            return false;
        }
        return link_.ChooseLinkAtStartUp();
    }

    int List() {
        vx::PictureList pictures;
        if (link_.ListPictures(pictures) == 0)
            return kFailed;
        for (const vx::PictureNode& node : pictures) {
            Print(stdout, vx::ToString(node.pictureName) + " " + std::to_string(node.pictureSize));
        }
        return kOk;
    }

    int Thumbnails(const std::string& folder) {
        if (!MakeFolder(folder))
            return CannotWrite(folder);
        vx::PictureList pictures;
        if (link_.ListPictures(pictures) == 0)
            return kFailed;
        bool corrupted = false;
        bool missing = false;
        for (const vx::PictureNode& node : pictures) {
            const std::int32_t before = catalogue_.count();
            corrupted |= link_.FetchThumbnail(node);
            if (user_.exitRequested)
                return kFailed;
            // A fetched and decoded thumbnail is the new cursor entry of the catalogue.
            const vx::DibImage* thumbnail =
                catalogue_.count() > before ? catalogue_.GetThumbnail() : nullptr;
            if (thumbnail == nullptr) {
                missing = true;
                continue;
            }
            const std::string path = InFolder(folder, vx::ToString(node.pictureName) + ".bmp");
            if (!WriteBitmapFile(path, *thumbnail))
                return CannotWrite(path);
        }
        if (corrupted)
            Print(stdout, "Some files are corrupted");
        return corrupted || missing ? kFailed : kOk;
    }

    int Get(const std::vector<std::string>& names, const std::string& folder) {
        if (!MakeFolder(folder))
            return CannotWrite(folder);
        vx::PictureList pictures;
        if (link_.ListPictures(pictures) == 0)
            return kFailed;
        int result = kOk;
        for (const std::string& name : names) {
            const vx::PictureNode* node = Find(pictures, name);
            // A thumbnail name reads the thumbnail file as far as the browser reads it.
            const bool thumbnail = node != nullptr && vx::ToString(node->thumbnailName) == name;
            if (node == nullptr) {
                Print(stdout, name + ": no such picture on the camera");
                result = kFailed;
                continue;
            }
            const std::uint32_t size = thumbnail ? node->thumbnailReadSize : node->pictureSize;
            ConsoleProgress progress;
            vx::PictureBytes bytes;
            if (link_.mode() == vx::LinkMode::Usb) {
                bytes = link_.ReadPictureUsb(name, size, &progress);
            } else if (link_.SelectPictureSerial(name)) {
                bytes = link_.ReadPictureSerial(name, size, &progress);
            }
            if (user_.exitRequested)
                return kFailed;
            if (bytes.empty()) {
                Print(stdout, name + ": download failed");
                result = kFailed;
                continue;
            }
            // A serial download is whole 512-byte blocks; the file is its first bytes.
            bytes = bytes.first(std::min<std::size_t>(bytes.size(), size));
            const std::string path = InFolder(folder, name + ".jpg");
            if (!WriteFile(path, bytes))
                return CannotWrite(path);
        }
        return result;
    }

    int Delete(const std::vector<std::string>& names) {
        int result = kOk;
        for (const std::string& name : names) {
            bool deleted = false;
            if (link_.mode() == vx::LinkMode::Usb) {
                deleted = link_.DeletePictureUsb(name);
            } else {
                // The serial delete works on the catalogue's cursor entry.
                catalogue_.RemoveAll();
                catalogue_.AddPicture(name.c_str(), 0, vx::THUMBNAIL_READ_SIZE, {});
                deleted = link_.DeletePictureSerial();
            }
            if (!deleted) {
                Print(stdout, name + ": delete failed");
                result = kFailed;
            }
        }
        return result;
    }

  private:
    static const vx::PictureNode* Find(const vx::PictureList& pictures, const std::string& name) {
        for (const vx::PictureNode& node : pictures) {
            if (vx::ToString(node.pictureName) == name || vx::ToString(node.thumbnailName) == name)
                return &node;
        }
        return nullptr;
    }
    static int CannotWrite(const std::string& path) {
        Print(stdout, "cannot write " + path);
        return kFailed;
    }

    vx::WinStillImageSystem stillImage_;
    vx::WinSerialPortSystem serialPorts_;
    vx::SystemClock clock_;
    ConsoleUser user_;
    vx::PictureCatalogue catalogue_;
    vx::CameraLink link_;
};

bool IsPictureName(const std::string& name) {
    return name.size() == vx::NAME_LENGTH;
}

int Usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string choice;
    if (!args.empty() && (args[0] == "--usb" || args[0] == "--serial")) {
        choice = args[0];
        args.erase(args.begin());
    }
    if (args.empty())
        return Usage();
    const std::string command = args[0];
    args.erase(args.begin());

    std::string folder;
    if (command == "list") {
        if (!args.empty())
            return Usage();
    } else if (command == "thumbs") {
        if (args.size() != 1)
            return Usage();
        folder = args[0];
    } else if (command == "get") {
        if (args.size() < 2)
            return Usage();
        folder = args.back();
        args.pop_back();
    } else if (command == "delete") {
        if (args.empty())
            return Usage();
    } else {
        return Usage();
    }
    if (command == "get" || command == "delete") {
        for (const std::string& name : args) {
            if (!IsPictureName(name)) {
                std::fprintf(stderr, "camtool: %s is not an 8-character picture name\n",
                             name.c_str());
                return kUsage;
            }
        }
    }

    Tool tool;
    if (!tool.Open(choice))
        return kFailed;
    if (command == "list")
        return tool.List();
    if (command == "thumbs")
        return tool.Thumbnails(folder);
    if (command == "get")
        return tool.Get(args, folder);
    return tool.Delete(args);
}
