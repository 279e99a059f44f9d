#include "sim/JtagInstructions.h"

namespace pyrola::sim {

namespace {

struct InstructionRow {
    uint8_t code;
    JtagBlock block;
};

constexpr InstructionRow kInstructions[] = {
    {0x13, JtagBlock::ControlWrite},   {0x14, JtagBlock::ControlCapture}, {0x15, JtagBlock::ControlRelease},
    {0x29, JtagBlock::Fuses},          {0x41, JtagBlock::Data},           {0x43, JtagBlock::DataQuick},
    {0x44, JtagBlock::DataPsa},        {0x46, JtagBlock::ShiftOutPsa},    {0x83, JtagBlock::Address},
    {0x84, JtagBlock::AddressCapture}, {0x85, JtagBlock::DataToAddress},
};

constexpr uint8_t Reverse(uint8_t v) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        r = static_cast<uint8_t>(r | (((v >> i) & 1) << (7 - i)));
    }
    return r;
}
static_assert(Reverse(kJtagIdentification) == kJtagIrCapture);

} // namespace

JtagBlock DecodeInstruction(uint8_t code) {
    for (const InstructionRow& row : kInstructions) {
        if (row.code == code) {
            return row.block;
        }
    }
    return JtagBlock::Bypass;
}

} // namespace pyrola::sim
