// Downloading one file over serial: select it by name, then 512-byte blocks, each
// asked for with CMD_NEXT_BLOCK, or with CMD_RESEND_BLOCK after a failed attempt.

#include <algorithm>
#include <cstring>

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"
#include "camera/serial_io.h"

namespace vx {

bool CameraLink::SelectPictureSerial(std::string_view name) {
    if (!port_)
        return false;
    SerialPort& port = *port_;
    std::uint8_t ack = 0;
    if (!SerialWriteByte(port, CMD_SELECT) || !SerialReadByte(port, ack))
        return false;

    std::array<std::uint8_t, WIRE_NAME_SIZE> wireName{};
    const FileName8 file = MakeFileName8(name);
    std::memcpy(wireName.data(), file.data(), NAME_LENGTH);
    std::memcpy(wireName.data() + NAME_LENGTH, "JPG ", 4);
    std::uint32_t written = 0;
    if (!SerialWrite(port, wireName, written, SERIAL_BYTE_CONSTANT_MS))
        return false;
    return SerialReadByte(port, ack);
}

PictureBytes CameraLink::ReadPictureSerial(std::string_view name, std::uint32_t size,
                                           Progress* progress) {
    if (!port_)
        return {};
    if (size == 0)
        return {};  // nothing to download is no download
    SerialPort& port = *port_;

    // Blocks travel whole; the buffer holds them all and its first `size` bytes are the file.
    const std::uint32_t blocks = size / SERIAL_BLOCK_SIZE + (size % SERIAL_BLOCK_SIZE != 0);
    std::vector<std::uint8_t> file;
    if (!AllocateDownload(file, std::uint64_t{blocks} * SERIAL_BLOCK_SIZE)) {
        ShowNoMemory();
        return {};
    }
    if (progress) {
        progress->SetRange(1, static_cast<std::int32_t>(blocks));
        progress->SetStep(1);
        progress->Show();
    }

    std::array<std::uint8_t, SERIAL_BLOCK_SIZE> data{};
    std::uint8_t byte = 0;  // acknowledgement, status and trailer share it
    int failures = 0;
    bool gaveUp = false;
    for (std::uint32_t k = 0; k < blocks;) {
        if (failures == 0) {
            SerialWriteByte(port, CMD_NEXT_BLOCK);
        } else if (failures >= SERIAL_BLOCK_FAILURES) {
            gaveUp = true;
            break;
        } else {
            // Whatever is left of the failed attempt must not be read as the new answer.
            port.Purge(kPurgeAll);
            SerialWriteByte(port, CMD_RESEND_BLOCK);
        }

        bool acknowledged = false;
        for (int i = 0; i < SERIAL_WAIT_READS && !acknowledged; ++i) {
            acknowledged = SerialReadByte(port, byte);
        }
        if (!acknowledged) {
            ++failures;
            continue;
        }
        SerialReadByte(port, byte);  // no status: the acknowledgement is judged instead
        if (byte != REPLY_DATA) {
            ShowStatusMessage(byte, true);
            ++failures;
            continue;
        }
        if (SerialRead(port, data, SERIAL_BLOCK_CONSTANT_MS) < data.size()) {
            ++failures;
            continue;
        }
        SerialReadByte(port, byte);
        if (progress) {
            progress->StepIt();
            const std::uint64_t percent = std::uint64_t{100} * k / blocks;
            progress->SetText(std::to_string(percent) + "% of " + std::string(name));
        }
        if (byte != REPLY_BLOCK_END) {
            ++failures;
            continue;
        }
        std::copy(data.begin(), data.end(), file.begin() + std::size_t{k} * SERIAL_BLOCK_SIZE);
        failures = 0;
        ++k;
    }
    if (progress)
        progress->Hide();
    if (gaveUp) {
        env_.user.ShowMessage(kTextDownloadError);
        return {};
    }
    ReleasePictureBuffer();
    pictureBuffer_ = std::move(file);
    pictureSize_ = size;
    return pictureBuffer();
}

}  // namespace vx
