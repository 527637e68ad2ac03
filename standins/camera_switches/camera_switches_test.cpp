#include "standins/camera_switches/camera_switches.h"

#include <gtest/gtest.h>

namespace vx::virtualcam {
namespace {

// How many of the next `occasions` strikes hit.
int Hits(Fault& fault, int occasions, std::uint8_t command = 0) {
    int hits = 0;
    for (int i = 0; i < occasions; ++i)
        hits += fault.Strike(command) ? 1 : 0;
    return hits;
}

TEST(CameraSwitches, FaultCountsAndNumbers) {
    UsbFaults usb;
    std::string error;
    ASSERT_TRUE(
        ParseUsbFaults("busy=once,blockFails=3,statusFails=always,shortBytes=0x100,"
                       "recordCount=26",
                       usb, error))
        << error;
    EXPECT_EQ(Hits(usb.busy, 5), 1);
    EXPECT_EQ(Hits(usb.blockFails, 5), 3);
    EXPECT_EQ(Hits(usb.statusFails, 50), 50);
    EXPECT_EQ(usb.shortBytes, 0x100u);
    EXPECT_EQ(usb.recordCount, 26);
    EXPECT_FALSE(usb.deleteFails.armed());
    EXPECT_FALSE(usb.directoryLength.has_value());
}

TEST(CameraSwitches, SerialFaultLimitedToOneCommand) {
    SerialFaults serial;
    std::string error;
    ASSERT_TRUE(ParseSerialFaults("badStatus=once@0xC3,status=0xE1,wrongTrailer=2", serial, error))
        << error;
    EXPECT_FALSE(serial.badStatus.Strike(0xC1));
    EXPECT_TRUE(serial.badStatus.Strike(0xC3));
    EXPECT_FALSE(serial.badStatus.Strike(0xC3));
    EXPECT_EQ(serial.status, 0xE1);
    EXPECT_EQ(Hits(serial.wrongTrailer, 4, 0xC4), 2);
}

TEST(CameraSwitches, RejectsWhatItCannotRead) {
    const char* const bad[] = {
        "busy",              // no value
        "bussy=once",        // unknown name
        "busy=twice",        // not a count
        "shortBytes=-1",     // not a number
        "shortBytes=1x",     // trailing junk
        "recordCount=256",   // does not fit its byte
        "busy=once@0x100",   // not a command byte
        "probeAnswer=0xD1",  // a serial name among USB switches
    };
    for (const char* text : bad) {
        UsbFaults usb;
        std::string error;
        EXPECT_FALSE(ParseUsbFaults(text, usb, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    SerialFaults serial;
    std::string error;
    EXPECT_FALSE(ParseSerialFaults("trailer=0x1F4", serial, error));
}

}  // namespace
}  // namespace vx::virtualcam
