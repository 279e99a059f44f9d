// Persistence of a DeviceModel, so that separate program runs see the same chip.
#include "sim/DeviceModel.h"

#include "platform/AtomicFile.h"

#include <cstddef>
#include <cstring>
#include <fstream>

namespace pyrola::sim {

namespace {

// What follows the 65,536 bytes of the address space.
struct StateTrailer {
    char magic[8];       // "PYRSIM01"
    char deviceName[32]; // NUL-terminated
    uint8_t fusesLow;    // configuration fuses, little-endian
    uint8_t fusesHigh;
    uint8_t securityFuse; // 1 when blown
    uint8_t flashLocked;  // 1 when the controller's LOCK bit is set
};
static_assert(sizeof(StateTrailer) == 44);
static_assert(offsetof(StateTrailer, deviceName) == 8);
static_assert(offsetof(StateTrailer, fusesLow) == 40);
static_assert(offsetof(StateTrailer, securityFuse) == 42);

constexpr char kMagic[8] = {'P', 'Y', 'R', 'S', 'I', 'M', '0', '1'};

} // namespace

bool DeviceModel::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    // At most one byte more than the longest valid file is read, whatever the file's size.
    constexpr size_t kLongest = kAddressSpaceSize + sizeof(StateTrailer);
    std::vector<uint8_t> bytes(kLongest + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() != kAddressSpaceSize && bytes.size() != kLongest) {
        return false;
    }
    if (bytes.size() == kAddressSpaceSize) {
        std::copy(bytes.begin(), bytes.end(), memory_.begin());
        return true;
    }
    StateTrailer trailer;
    std::memcpy(&trailer, bytes.data() + kAddressSpaceSize, sizeof trailer);
    if (std::memcmp(trailer.magic, kMagic, sizeof kMagic) != 0 ||
        std::memchr(trailer.deviceName, 0, sizeof trailer.deviceName) == nullptr) {
        return false;
    }
    const ChipDescription* chip = FindChip(trailer.deviceName);
    if (chip == nullptr) {
        return false;
    }
    Adopt(*chip);
    std::copy(bytes.begin(), bytes.begin() + kAddressSpaceSize, memory_.begin());
    fuses_ = static_cast<uint16_t>(trailer.fusesLow | trailer.fusesHigh << 8);
    securityFuseBlown_ = trailer.securityFuse != 0;
    flashLocked_ = trailer.flashLocked != 0;
    return true;
}

bool DeviceModel::Save(const std::string& path) const {
    StateTrailer trailer{};
    std::memcpy(trailer.magic, kMagic, sizeof kMagic);
    std::strncpy(trailer.deviceName, name_.c_str(), sizeof trailer.deviceName - 1);
    trailer.fusesLow = static_cast<uint8_t>(fuses_ & 0xFF);
    trailer.fusesHigh = static_cast<uint8_t>(fuses_ >> 8);
    trailer.securityFuse = securityFuseBlown_ ? 1 : 0;
    trailer.flashLocked = flashLocked_ ? 1 : 0;

    // Written beside the target and renamed over it, so a reader never sees half a chip.
    std::string contents(reinterpret_cast<const char*>(memory_.data()), memory_.size());
    contents.append(reinterpret_cast<const char*>(&trailer), sizeof trailer);
    return ReplaceFileAtomically(path, contents);
}

} // namespace pyrola::sim
