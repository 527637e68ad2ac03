#pragma once
// The camera's protocol vocabulary: USB escape codes, serial command, reply and status
// bytes, and the fixed sizes and time-outs of the exchanges. Values are the camera's;
// changing one breaks the conversation with it.

#include <cstdint>

namespace vx {

// USB escape codes (first argument of the device's Escape call).
inline constexpr std::uint32_t ESC_DIR_LENGTH = 0x1002;
inline constexpr std::uint32_t ESC_DIR_BLOCK = 0x1003;
inline constexpr std::uint32_t ESC_FILE_BLOCK = 0x1004;
inline constexpr std::uint32_t ESC_BLOCK_RECOVER = 0x1009;
inline constexpr std::uint32_t ESC_DELETE_FILE = 0x1010;

// Serial commands (to the camera) and replies (from it).
inline constexpr std::uint8_t CMD_PROBE = 0xB1;
inline constexpr std::uint8_t CMD_LIST = 0xC1;
inline constexpr std::uint8_t CMD_SELECT = 0xC2;
inline constexpr std::uint8_t CMD_DELETE = 0xC3;
inline constexpr std::uint8_t CMD_NEXT_BLOCK = 0xC4;
inline constexpr std::uint8_t CMD_RESEND_BLOCK = 0xC5;
inline constexpr std::uint8_t REPLY_PROBE = 0xD1;
inline constexpr std::uint8_t REPLY_DATA = 0xF2;
inline constexpr std::uint8_t REPLY_MORE = 0xF3;
inline constexpr std::uint8_t REPLY_BLOCK_END = 0xF4;

// Card status bytes, sent where REPLY_DATA was expected.
inline constexpr std::uint8_t ERR_NO_CARD = 0xE1;
inline constexpr std::uint8_t ERR_CARD_FORMAT = 0xE2;
inline constexpr std::uint8_t ERR_CARD_ACCESS = 0xE3;

// Directory: 512-byte blocks of a 12-byte header and up to 25 records of 20 bytes.
inline constexpr std::uint32_t DIR_BLOCK_SIZE = 512;
inline constexpr std::uint32_t DIR_HEADER_SIZE = 12;
inline constexpr std::uint32_t DIR_COUNT_OFFSET = 10;
inline constexpr std::uint32_t DIR_RECORD_SIZE = 20;
inline constexpr std::uint32_t DIR_RECORDS_MAX = 25;
// Far more blocks than a card's directory fills (a camera folder holds at most 9999
// pictures, 400 blocks). A camera reporting more is not believed beyond this, so a
// broken directory length cannot keep the listing busy for hours or exhaust memory.
inline constexpr std::uint32_t DIR_BLOCKS_MAX = 2048;

// Files travel in 4096-byte escapes over USB and in 512-byte blocks over serial.
inline constexpr std::uint32_t USB_BLOCK_SIZE = 4096;
inline constexpr std::uint32_t SERIAL_BLOCK_SIZE = 512;

// A thumbnail file is read up to this size; its JPEG stream starts at the offset.
inline constexpr std::uint32_t THUMBNAIL_READ_SIZE = 0x7000;
inline constexpr std::uint32_t THUMBNAIL_OFFSET = 2123;

// Names on the wire: 8 characters, then "JPG", then a zero (USB) or a blank (serial).
inline constexpr std::uint32_t NAME_LENGTH = 8;
inline constexpr std::uint32_t WIRE_NAME_SIZE = 12;

// Time-outs in milliseconds. A serial transfer of n bytes may take
// SERIAL_MS_PER_BYTE * n + its constant before it gives up.
inline constexpr std::uint32_t LOCK_TIMEOUT_MS = 2000;
inline constexpr std::uint32_t SERIAL_MS_PER_BYTE = 10;
inline constexpr std::uint32_t SERIAL_BYTE_CONSTANT_MS = 500;
inline constexpr std::uint32_t SERIAL_BLOCK_CONSTANT_MS = 2000;

// Repetitions the camera's timing needs.
inline constexpr int SERIAL_WAIT_READS = 100;     // one-byte reads while the camera prepares
inline constexpr int SERIAL_BLOCK_FAILURES = 10;  // consecutive failed attempts of one block
inline constexpr int USB_BLOCK_ATTEMPTS = 3;      // attempts of one 4096-byte escape
inline constexpr int LISTING_PASSES = 3;          // series of listing attempts over USB ...
inline constexpr int LISTING_ATTEMPTS = 3;        // ... of this many attempts each
inline constexpr std::uint32_t LISTING_PAUSE_MS = 300;

// The still-image device the system talks to, by its exact description.
inline constexpr char CAMERA_DESCRIPTION[] = "VX2917";
inline constexpr std::uint32_t STI_DEVICE_CREATE_DATA = 2;

}  // namespace vx
