#pragma once
// The one connection between a browser window and the camera: which transport is open,
// the still-image objects or the serial port behind it, and the bytes of the last
// download. Every camera operation the browser runs is a member, in a USB and a serial
// form; the browser picks the form by mode().
//
// Everything runs on the window's thread and blocks it for the whole exchange.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camera/clock.h"
#include "camera/records.h"
#include "camera/serial_port.h"
#include "camera/still_image.h"
#include "camera/user_side.h"
#include "catalogue/picture_catalogue.h"
#include "dib/dib_image.h"

namespace vx {

enum class LinkMode : std::uint8_t { None = 0, Usb = 1, Serial = 2 };

// What the link works with; all of it outlives the link.
struct CameraEnvironment {
    StillImageSystem& stillImage;
    // Null in the stand-alone program, which has no serial transport and no serial button.
    SerialPortSystem* serialPorts = nullptr;
    Clock& clock;
    UserSide& user;
    PictureCatalogue& catalogue;
    // Largest download the link will allocate. Sizes come from the camera's directory,
    // so a broken record must not make the program try to take gigabytes.
    std::uint32_t maxDownloadBytes = 256u << 20;
};

// Bytes of a download, valid until the next download or the link's end; empty on failure.
using PictureBytes = std::span<const std::uint8_t>;

class CameraLink {
  public:
    explicit CameraLink(const CameraEnvironment& environment);
    // Releases the picture buffer, closes the port, releases the USB objects.
    ~CameraLink();
    CameraLink(const CameraLink&) = delete;
    CameraLink& operator=(const CameraLink&) = delete;

    // --- transports (usb_link.cpp, serial_link.cpp, link_choice.cpp) ---
    // Finds the still-image device described exactly "VX2917" and creates it in data
    // mode. No message, no change of mode.
    bool OpenUsbCamera();
    void ReleaseUsbCamera();
    // Opens the named port at 115200/8/N/2 and probes it; null when no camera answers.
    // Leaves the link state alone.
    std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name);
    void CloseSerialPort();
    // The "USB" and serial link commands.
    void OpenUsbLink();
    void OpenSerialLink();
    // USB first, then serial. True when a link is open: the caller then runs its
    // download-from-camera command. Otherwise the start-up message has been shown.
    bool ChooseLinkAtStartUp();

    // --- listing (listing_usb.cpp, listing_serial.cpp, listing_driver.cpp) ---
    // Both clear the catalogue early, add nodes to `head` and return how many they made.
    std::int32_t ListPicturesUsb(PictureList& head);
    std::int32_t ListPicturesSerial(PictureList& head);
    // The download command's listing over the open link: USB with its retries and the
    // four-line message, serial once, nothing without a link.
    std::int32_t ListPictures(PictureList& head);

    // --- transfer and delete (transfer_usb.cpp, transfer_serial.cpp, thumbnail.cpp,
    //     delete_picture.cpp) ---
    // `name` is an 8-character file name; with a progress window it is also shown.
    PictureBytes ReadPictureUsb(std::string_view name, std::uint32_t size, Progress* progress);
    bool SelectPictureSerial(std::string_view name);
    // Reads the file selected just before.
    PictureBytes ReadPictureSerial(std::string_view name, std::uint32_t size, Progress* progress);
    // Fetches and decodes one listed picture's thumbnail into the catalogue. True when
    // a thumbnail arrived but did not decode.
    bool FetchThumbnail(const PictureNode& node);
    // Decodes downloaded bytes (or, with readSize 0, the JPEG file at path `name`) into
    // a bitmap: a new catalogue entry, or `out`.
    bool DecodeDownload(const std::uint8_t* data, std::uint32_t pictureSize, std::uint32_t readSize,
                        const std::string& name, bool toCatalogue, DibImage* out);
    bool DeletePictureUsb(std::string_view name);
    // Deletes the catalogue's cursor entry over serial.
    bool DeletePictureSerial();

    // --- state ---
    LinkMode mode() const { return mode_; }
    bool hasStillImage() const { return stillImage_ != nullptr; }
    bool hasDevice() const { return device_ != nullptr; }
    bool portOpen() const { return port_ != nullptr; }
    // The last port tried, "COM1" or "COM2".
    const std::string& portName() const { return portName_; }
    PictureBytes pictureBuffer() const;

  private:
    // Status byte of a serial reply that was not REPLY_DATA: shows its message.
    void ShowStatusMessage(std::uint8_t status, bool unknownToo);
    // A zero-filled block of `size` bytes, or false when the memory is not to be had.
    bool AllocateDownload(std::vector<std::uint8_t>& block, std::uint64_t size) const;
    void ReleasePictureBuffer();
    void ShowNoMemory();

    CameraEnvironment env_;
    LinkMode mode_ = LinkMode::None;
    std::unique_ptr<StillImage> stillImage_;
    // Shared with an open transaction bracket, so the bracket can always close.
    std::shared_ptr<StillImageDevice> device_;
    std::unique_ptr<SerialPort> port_;
    std::string portName_;
    std::vector<std::uint8_t> pictureBuffer_;
    std::uint32_t pictureSize_ = 0;
};

}  // namespace vx
