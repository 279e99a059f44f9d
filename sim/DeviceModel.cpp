#include "sim/DeviceModel.h"

#include <algorithm>

namespace pyrola::sim {

DeviceModel::DeviceModel(const std::string& deviceName) {
    const ChipDescription* chip = FindChip(deviceName);
    if (chip == nullptr) {
        chip = FindChip(kDefaultChip);
    }
    Adopt(*chip);
    // A chip fresh from the factory: erased flash, cleared registers and RAM, the loader
    // ROM and the identification bytes in place.
    for (uint32_t a = 0; a < kAddressSpaceSize; ++a) {
        Region region = RegionOf(a);
        memory_[a] =
            (region == Region::Info || region == Region::Main || region == Region::Vacant) ? 0xFF : 0x00;
    }
    // Stand-in for the loader's code: a fixed pseudo-random pattern, the same for every
    // run of the same part, so that a dump of the loader area is repeatable.
    uint32_t seed = 0x2545F491u ^ (uint32_t(chip->identification[0]) << 8) ^ chip->identification[1];
    for (uint32_t a = kLoaderRomStart; a < kIdentificationStart; ++a) {
        seed = seed * 1103515245u + 12345u;
        memory_[a] = static_cast<uint8_t>(seed >> 16);
    }
    SetIdentification(chip->identification);
    fuses_ = chip->fuses;
}

void DeviceModel::Adopt(const ChipDescription& chip) {
    name_ = chip.name;
    bounds_ = chip.bounds;
}

std::vector<std::string> DeviceModel::DeviceNames() {
    std::vector<std::string> names;
    for (const ChipDescription& chip : Chips()) {
        names.emplace_back(chip.name);
    }
    return names;
}

bool DeviceModel::IsDeviceName(const std::string& name) {
    return FindChip(name) != nullptr;
}

Region DeviceModel::RegionOf(uint32_t address) const {
    if (address >= kAddressSpaceSize) {
        return Region::Vacant;
    }
    if (address >= bounds_.infoStart && address <= bounds_.infoEnd) {
        return Region::Info;
    }
    if (address >= bounds_.mainStart && address <= bounds_.mainEnd) {
        return Region::Main;
    }
    if ((address >= bounds_.ramStart && address <= bounds_.ramEnd) ||
        (bounds_.mirrorEnd != 0 && address >= bounds_.mirrorStart && address <= bounds_.mirrorEnd)) {
        return Region::Ram;
    }
    if (address >= kLoaderRomStart && address <= kLoaderRomEnd) {
        return Region::LoaderRom;
    }
    if (address <= kPeripheralEnd) {
        return Region::Peripheral;
    }
    return Region::Vacant;
}

uint32_t DeviceModel::Cell(uint32_t address) const {
    if (bounds_.mirrorEnd != 0 && address >= bounds_.mirrorStart && address <= bounds_.mirrorEnd)
        return bounds_.ramStart + (address - bounds_.mirrorStart);
    return address;
}

bool DeviceModel::IsFlash(uint32_t address) const {
    Region region = RegionOf(address);
    return region == Region::Info || region == Region::Main;
}

uint32_t DeviceModel::SegmentStart(uint32_t address) const {
    switch (RegionOf(address)) {
    case Region::Main:
        return std::max(bounds_.mainStart, address & ~(kMainSegmentSize - 1));
    case Region::Info:
        return std::max(bounds_.infoStart, address & ~(kInfoSegmentSize - 1));
    default:
        return address;
    }
}

uint32_t DeviceModel::SegmentEnd(uint32_t address) const {
    switch (RegionOf(address)) {
    case Region::Main:
        return std::min(bounds_.mainEnd, (address | (kMainSegmentSize - 1)));
    case Region::Info:
        return std::min(bounds_.infoEnd, (address | (kInfoSegmentSize - 1)));
    default:
        return address;
    }
}

uint8_t DeviceModel::Read(uint32_t address) const {
    if (address >= kAddressSpaceSize) {
        return 0xFF;
    }
    address = Cell(address);
    return static_cast<uint8_t>((memory_[address] & ~stuckMask_[address]) |
                                (stuckValue_[address] & stuckMask_[address]));
}

void DeviceModel::ReadBlock(uint32_t address, uint8_t* out, uint32_t count) const {
    for (uint32_t i = 0; i < count; ++i) {
        out[i] = Read(address + i);
    }
}

bool DeviceModel::BeginFlashOperation(FlashOperation kind) {
    if (powerLost_) {
        return false;
    }
    if (powerLossCountdown_ && (powerLossKind_ == FlashOperation::Any || powerLossKind_ == kind)) {
        if (*powerLossCountdown_ == 0) {
            powerLossCountdown_.reset();
            interrupting_ = true;
        } else {
            --*powerLossCountdown_;
        }
    }
    ++flashOperations_;
    return true;
}

bool DeviceModel::Write(uint32_t address, uint8_t value) {
    if (powerLost_) {
        return false;
    }
    switch (RegionOf(address)) {
    case Region::Peripheral:
    case Region::Ram:
        memory_[Cell(address)] = value;
        return true;
    case Region::Info:
    case Region::Main:
        break;
    default:
        return false;
    }
    if (flashLocked_ || !BeginFlashOperation(FlashOperation::Program)) {
        return false;
    }
    if (interrupting_) {
        // The supply went before the programming pulse ended: only some bits made it.
        interrupting_ = false;
        powerLost_ = true;
        memory_[address] &= static_cast<uint8_t>(value | 0x0F);
        return false;
    }
    memory_[address] &= value;
    return true;
}

void DeviceModel::FillSegment(uint32_t start) {
    uint32_t end = SegmentEnd(start);
    std::fill(memory_.begin() + start, memory_.begin() + end + 1, uint8_t{0xFF});
}

std::vector<uint32_t> DeviceModel::SegmentsOf(uint32_t start, uint32_t end, uint32_t size) const {
    std::vector<uint32_t> starts;
    if (end < start || end >= kAddressSpaceSize) {
        return starts;
    }
    for (uint32_t a = start; a <= end; a = (a & ~(size - 1)) + size) {
        starts.push_back(a);
    }
    return starts;
}

bool DeviceModel::EraseSegments(const std::vector<uint32_t>& starts) {
    if (starts.empty() || flashLocked_ || !BeginFlashOperation(FlashOperation::Erase)) {
        return false;
    }
    if (interrupting_) {
        interrupting_ = false;
        powerLost_ = true;
        if (starts.size() == 1) {
            // Cut short halfway through the segment.
            uint32_t start = starts[0];
            uint32_t half = (SegmentEnd(start) - start + 1) / 2;
            std::fill(memory_.begin() + start, memory_.begin() + start + half, uint8_t{0xFF});
        } else {
            for (size_t i = 0; i < starts.size() / 2; ++i) {
                FillSegment(starts[i]);
            }
        }
        return false;
    }
    for (uint32_t start : starts) {
        FillSegment(start);
    }
    return true;
}

bool DeviceModel::EraseSegment(uint32_t address) {
    if (powerLost_ || !IsFlash(address)) {
        return false;
    }
    return EraseSegments({SegmentStart(address)});
}

bool DeviceModel::EraseMain() {
    if (powerLost_) {
        return false;
    }
    return EraseSegments(SegmentsOf(bounds_.mainStart, bounds_.mainEnd, kMainSegmentSize));
}

bool DeviceModel::EraseMass() {
    if (powerLost_) {
        return false;
    }
    std::vector<uint32_t> starts = SegmentsOf(bounds_.infoStart, bounds_.infoEnd, kInfoSegmentSize);
    std::vector<uint32_t> main = SegmentsOf(bounds_.mainStart, bounds_.mainEnd, kMainSegmentSize);
    starts.insert(starts.end(), main.begin(), main.end());
    return EraseSegments(starts);
}

bool DeviceModel::IsBlank(uint32_t address, uint32_t length) const {
    for (uint32_t i = 0; i < length; ++i) {
        if (Read(address + i) != 0xFF) {
            return false;
        }
    }
    return true;
}

void DeviceModel::Poke(uint32_t address, uint8_t value) {
    if (address < kAddressSpaceSize) {
        memory_[Cell(address)] = value;
    }
}

std::array<uint8_t, 16> DeviceModel::Identification() const {
    std::array<uint8_t, 16> bytes{};
    ReadBlock(kIdentificationStart, bytes.data(), 16);
    return bytes;
}

void DeviceModel::SetIdentification(const std::array<uint8_t, 16>& bytes) {
    std::copy(bytes.begin(), bytes.end(), memory_.begin() + kIdentificationStart);
}

uint16_t DeviceModel::LoaderVersion() const {
    return static_cast<uint16_t>(Read(kLoaderVersionAddress) << 8 | Read(kLoaderVersionAddress + 1));
}

void DeviceModel::SetLoaderVersion(uint16_t version) {
    memory_[kLoaderVersionAddress] = static_cast<uint8_t>(version >> 8);
    memory_[kLoaderVersionAddress + 1] = static_cast<uint8_t>(version & 0xFF);
}

std::array<uint8_t, 32> DeviceModel::VectorPassword() const {
    std::array<uint8_t, 32> bytes{};
    ReadBlock(kVectorTableStart, bytes.data(), 32);
    return bytes;
}

void DeviceModel::SetStuckBits(uint32_t address, uint8_t mask, uint8_t value) {
    if (address < kAddressSpaceSize) {
        stuckMask_[address] = mask;
        stuckValue_[address] = static_cast<uint8_t>(value & mask);
    }
}

void DeviceModel::ClearStuckBits() {
    std::fill(stuckMask_.begin(), stuckMask_.end(), uint8_t{0});
    std::fill(stuckValue_.begin(), stuckValue_.end(), uint8_t{0});
}

void DeviceModel::InjectPowerLossAfter(uint32_t operationCount, FlashOperation kind) {
    powerLossCountdown_ = operationCount;
    powerLossKind_ = kind;
}

bool DeviceModel::HostCrashDue() {
    if (!hostCrashCountdown_)
        return false;
    if (*hostCrashCountdown_ == 0) {
        hostCrashCountdown_.reset();
        return true;
    }
    --*hostCrashCountdown_;
    return false;
}

void DeviceModel::RestorePower() {
    powerLost_ = false;
    interrupting_ = false;
    powerLossCountdown_.reset();
}

} // namespace pyrola::sim
