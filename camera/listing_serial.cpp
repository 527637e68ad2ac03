// Listing the card's directory over serial: CMD_LIST, an acknowledgement, a status, a
// record count, the records, and a trailer that says whether another block follows.
// Records are merged by the last four characters of their names.

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"
#include "camera/serial_io.h"

namespace vx {

std::int32_t CameraLink::ListPicturesSerial(PictureList& head) {
    if (!port_)
        return 0;
    SerialPort& port = *port_;
    env_.catalogue.RemoveAll();
    port.Purge(kPurgeAll);

    // One byte buffer for the acknowledgement, the status, the count and the trailer:
    // a read that gets nothing leaves the previous byte to be judged.
    std::uint8_t byte = 0;
    std::int32_t count = 0;
    SerialWriteByte(port, CMD_LIST);
    if (!SerialReadByte(port, byte)) {
        env_.user.ShowMessage(kTextCameraSilent);
        return 0;
    }
    for (std::uint32_t block = 1;; ++block) {
        // The camera may take a while to read its card before the status comes.
        for (int i = 0; i < SERIAL_WAIT_READS; ++i) {
            if (SerialReadByte(port, byte))
                break;
        }
        if (byte != REPLY_DATA) {
            ShowStatusMessage(byte, true);
            return 0;
        }
        SerialReadByte(port, byte);
        const std::uint8_t records = byte;
        if (records == 0xFF || records > DIR_RECORDS_MAX)
            return 0;

        for (std::uint8_t r = 0; r < records; ++r) {
            std::array<std::uint8_t, DirectoryRecord::kSize> record{};
            if (SerialRead(port, record, SERIAL_BYTE_CONSTANT_MS) != record.size()) {
                // A torn record is not a picture; what came before it stands.
                return count;
            }
            if (MergeRecord(head, DirectoryRecord::Decode(record)))
                ++count;
        }

        if (!SerialReadByte(port, byte) || byte != REPLY_MORE)
            return count;
        // A camera announcing block after block without end is not believed forever.
        if (block == DIR_BLOCKS_MAX)
            return count;
        SerialWriteByte(port, CMD_LIST);
        if (!SerialReadByte(port, byte)) {
            env_.user.ShowMessage(kTextCameraSilent);
            return 0;
        }
    }
}

}  // namespace vx
