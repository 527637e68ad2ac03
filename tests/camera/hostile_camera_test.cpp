// A camera that answers garbage: random bytes, random counts, random successes. Every
// operation must end, stay inside its buffers (the sanitizers watch) and keep its
// results consistent. Seeded, so a failure repeats.

#include <gtest/gtest.h>

#include <random>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using Random = std::minstd_rand;

// Answers every read with a random number of random bytes (often none), claims random
// byte counts and sometimes reports failure.
class GarbagePort final : public SerialPort {
  public:
    explicit GarbagePort(Random& random) : random_(random) {}
    bool GetLineSettings(LineSettings&) override { return true; }
    bool SetLineSettings(const LineSettings&) override { return true; }
    bool SetWriteTimeouts(const WriteTimeouts&) override { return true; }
    bool SetReadTimeouts(const ReadTimeouts&) override { return true; }
    bool Write(std::span<const std::uint8_t> bytes, std::uint32_t& done) override {
        done = static_cast<std::uint32_t>(bytes.size());
        return random_() % 8 != 0;
    }
    bool Read(std::span<std::uint8_t> bytes, std::uint32_t& done) override {
        done = random_() % 3 == 0 ? 0 : static_cast<std::uint32_t>(random_() % (bytes.size() + 1));
        for (std::uint32_t i = 0; i < done; ++i)
            bytes[i] = Byte();
        if (random_() % 16 == 0)
            done = 0xFFFFFFFF;  // a driver that lies
        return random_() % 4 != 0;
    }
    bool Purge(std::uint32_t) override { return true; }

  private:
    // Mostly the protocol's own bytes, so the exchange gets deep before it breaks.
    std::uint8_t Byte() {
        static const std::uint8_t kUseful[] = {0xD1, 0xF2, 0xF3, 0xF4, 0xE1, 0x00, 0x19, 0x1A};
        return random_() % 2 ? kUseful[random_() % 8] : static_cast<std::uint8_t>(random_());
    }
    Random& random_;
};

class GarbagePorts final : public SerialPortSystem {
  public:
    explicit GarbagePorts(Random& random) : random_(random) {}
    std::unique_ptr<SerialPort> Open(const std::string&) override {
        return std::make_unique<GarbagePort>(random_);
    }

  private:
    Random& random_;
};

class GarbageDevice final : public StillImageDevice {
  public:
    explicit GarbageDevice(Random& random) : random_(random) {}
    bool LockDevice(std::uint32_t) override { return random_() % 8 != 0; }
    bool UnLockDevice() override { return true; }
    bool Subscribe() override { return true; }
    bool UnSubscribe() override { return true; }
    bool DeviceReset() override { return true; }
    bool GetStatus() override { return random_() % 8 != 0; }
    bool Escape(std::uint32_t code, std::span<const std::uint8_t>, std::span<std::uint8_t> out,
                std::uint32_t& actual) override {
        std::uint32_t x = static_cast<std::uint32_t>(random_());
        std::uint8_t* p = out.data();
        for (std::size_t i = 0; i < out.size(); ++i) {
            x = x * 1664525u + 1013904223u;  // cheap filler; the seed still decides it
            p[i] = static_cast<std::uint8_t>(x >> 24);
        }
        // Mostly directories of a few blocks, sometimes absurd lengths.
        if (code == 0x1002 && out.size() >= 4 && random_() % 4 != 0) {
            out[2] = 0;
            out[3] = 0;
        }
        const std::uint32_t choice = random_() % 4;
        actual = choice == 0   ? 0
                 : choice == 1 ? static_cast<std::uint32_t>(out.size())
                 : choice == 2 ? static_cast<std::uint32_t>(random_())
                               : static_cast<std::uint32_t>(random_() % (out.size() + 1));
        return random_() % 6 != 0;
    }

  private:
    Random& random_;
};

class GarbageStillImage final : public StillImageSystem, public StillImage {
  public:
    explicit GarbageStillImage(Random& random) : random_(random) {}
    std::unique_ptr<StillImage> CreateInstance() override {
        return std::make_unique<Handle>(*this);
    }
    bool GetDeviceList(std::vector<StillImageDeviceInfo>& d) override {
        d = {{"VX2917", L"x"}};
        return true;
    }
    std::unique_ptr<StillImageDevice> CreateDevice(const std::wstring&, std::uint32_t) override {
        return std::make_unique<GarbageDevice>(random_);
    }

  private:
    struct Handle final : StillImage {
        explicit Handle(GarbageStillImage& o) : owner(o) {}
        bool GetDeviceList(std::vector<StillImageDeviceInfo>& d) override {
            return owner.GetDeviceList(d);
        }
        std::unique_ptr<StillImageDevice> CreateDevice(const std::wstring& n,
                                                       std::uint32_t m) override {
            return owner.CreateDevice(n, m);
        }
        GarbageStillImage& owner;
    };
    Random& random_;
};

TEST(HostileCamera, EveryOperationEndsWithinItsBuffers) {
    for (std::uint32_t seed = 1; seed <= 100; ++seed) {
        Random random(seed);
        GarbageStillImage sti(random);
        GarbagePorts ports(random);
        testing::RecordingUser user;
        virtualcam::SimulatedClock clock;
        PictureCatalogue catalogue;
        CameraLink link(
            CameraEnvironment{sti, &ports, clock, user, catalogue, /*maxDownloadBytes=*/1 << 20});
        for (const bool serial : {false, true}) {
            serial ? link.OpenSerialLink() : link.OpenUsbLink();
            if (link.mode() == LinkMode::None)
                continue;
            PictureList list;
            const std::int32_t count =
                serial ? link.ListPicturesSerial(list) : link.ListPicturesUsb(list);
            ASSERT_GE(count, 0) << seed;
            ASSERT_LE(static_cast<std::size_t>(count), list.size()) << seed;
            list.push_back(NodeFromRecord(DirectoryRecord{}));  // at least one to fetch
            for (const PictureNode& node : list) {
                if (&node - list.data() > 3)
                    break;
                link.FetchThumbnail(node);
                const std::uint32_t size = node.pictureSize % 6000;
                const PictureBytes bytes =
                    serial ? (link.SelectPictureSerial("SBCD0001")
                                  ? link.ReadPictureSerial("SBCD0001", size, nullptr)
                                  : PictureBytes{})
                           : link.ReadPictureUsb("SBCD0001", size, nullptr);
                if (!bytes.empty()) {
                    ASSERT_EQ(bytes.size(), size) << seed;
                }
            }
            catalogue.AddPicture("SBCD0001", 1, 1, {});
            serial ? link.DeletePictureSerial() : link.DeletePictureUsb("SBCD0001");
        }
    }
}

}  // namespace
}  // namespace vx
