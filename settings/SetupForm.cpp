#include "settings/SetupForm.h"

#include "adapters/bsl/BslLineOptions.h"
#include "base/TextFormat.h"
#include "jobs/JobFlags.h"

#include <array>

namespace pyrola {

namespace {

struct AdapterControls {
    uint32_t adapter;
    uint32_t radio;
    uint32_t portList;
    uint32_t Settings::*port;
};
constexpr std::array<AdapterControls, 3> kAdapterControls = {{
    {kAdapterFet, kSetupCtlFet, kSetupCtlFetPort, &Settings::fetPort},
    {kAdapterRaw, kSetupCtlRaw, kSetupCtlRawPort, &Settings::rawPort},
    {kAdapterBsl, kSetupCtlBsl, kSetupCtlBslPort, &Settings::bslPort},
}};

// Controls that only their adapter's choice enables: they make no sense for the others.
struct AdapterOwned {
    uint32_t id;
    uint32_t adapter;
};
constexpr std::array<AdapterOwned, 11> kAdapterOwned = {{
    {kSetupCtlFetPort, kAdapterFet},
    {kSetupCtlFetNote, kAdapterFet},
    {kSetupCtlRawPort, kAdapterRaw},
    {kSetupCtlRawNote, kAdapterRaw},
    {kSetupCtlBslPort, kAdapterBsl},
    {kSetupCtlBslPatch, kAdapterBsl},
    {kSetupCtlBslSpeedLabel, kAdapterBsl},
    {kSetupCtlBslSpeed, kAdapterBsl},
    {kSetupCtlBslResetInverted, kAdapterBsl},
    {kSetupCtlBslTestInverted, kAdapterBsl},
    {kSetupCtlBslSwapResetTest, kAdapterBsl},
}};

struct StepBox {
    uint32_t id;
    uint32_t bit;
};
constexpr std::array<StepBox, 5> kStepBoxes = {{
    {kSetupCtlReloadFile, kJobReload},
    {kSetupCtlErase, kJobErase},
    {kSetupCtlBlankCheck, kJobBlankCheck},
    {kSetupCtlProgram, kJobProgram},
    {kSetupCtlVerify, kJobVerify},
}};
constexpr uint32_t kStepBoxBits = kJobReload | kJobErase | kJobBlankCheck | kJobProgram | kJobVerify;

struct FlagBox {
    uint32_t id;
    uint8_t Settings::*flag;
    bool inverted; // the box is checked while the flag is clear
};
constexpr std::array<FlagBox, 8> kFlagBoxes = {{
    {kSetupCtlBslPatch, &Settings::bslPatch, false},
    {kSetupCtlBslResetInverted, &Settings::bslResetInverted, false},
    {kSetupCtlBslTestInverted, &Settings::bslTestInverted, false},
    {kSetupCtlBslSwapResetTest, &Settings::bslSwapResetTest, false},
    {kSetupCtlMultipleInstances, &Settings::oneInstance, true},
    {kSetupCtlAutoDetect, &Settings::autoDetect, false},
    {kSetupCtlRemoveGap, &Settings::removeGap, false},
    {kSetupCtlEraseInfo, &Settings::eraseInfo, false},
}};

// The row of rows whose key member is id; null when none.
template <typename Row, size_t N>
const Row* FindRow(const std::array<Row, N>& rows, uint32_t Row::*key, uint32_t id) {
    for (const Row& row : rows) {
        if (row.*key == id)
            return &row;
    }
    return nullptr;
}

const AdapterControls* ByRadio(uint32_t id) {
    return FindRow(kAdapterControls, &AdapterControls::radio, id);
}
const AdapterControls* ByPortList(uint32_t id) {
    return FindRow(kAdapterControls, &AdapterControls::portList, id);
}

int SpeedRow(uint32_t rate) {
    for (size_t row = 0; row < kBslBaudRates.size(); ++row) {
        if (kBslBaudRates[row] == rate)
            return static_cast<int>(row);
    }
    return -1;
}

} // namespace

SetupForm::SetupForm(Settings& record) : record_(record), edited_(record) {
    // "BSL" for 2, "FET" for 0, "RAW" for any other value.
    if (edited_.adapter != kAdapterBsl && edited_.adapter != kAdapterFet)
        edited_.adapter = kAdapterRaw;
    edited_.autoSteps &= kStepBoxBits;
    // The adapter runs an unknown speed at the base rate: show that.
    if (!IsBslBaudRate(edited_.bslSpeed))
        edited_.bslSpeed = kBslBaseBaudRate;
}

std::vector<std::string> SetupForm::ListItems(uint32_t control) {
    std::vector<std::string> rows;
    if (control == kSetupCtlBslSpeed) {
        for (uint32_t rate : kBslBaudRates)
            rows.push_back(Format("%u baud", static_cast<unsigned>(rate)));
        return rows;
    }
    if (!ByPortList(control))
        return rows;
    const char* pattern = control == kSetupCtlBslPort ? "COM%d" : "LPT%d";
    for (int port = 1; port <= kSetupPortCount; ++port)
        rows.push_back(Format(pattern, port));
    return rows;
}

int SetupForm::Selection(uint32_t control) const {
    if (const AdapterControls* adapter = ByPortList(control)) {
        const uint32_t port = edited_.*(adapter->port);
        return port < static_cast<uint32_t>(kSetupPortCount) ? static_cast<int>(port) : -1;
    }
    if (control == kSetupCtlBslSpeed)
        return SpeedRow(edited_.bslSpeed);
    return -1;
}

bool SetupForm::IsChecked(uint32_t control) const {
    if (const AdapterControls* adapter = ByRadio(control))
        return edited_.adapter == adapter->adapter;
    if (const StepBox* box = FindRow(kStepBoxes, &StepBox::id, control))
        return (edited_.autoSteps & box->bit) != 0;
    if (const FlagBox* box = FindRow(kFlagBoxes, &FlagBox::id, control))
        return (edited_.*(box->flag) != 0) != box->inverted;
    return false;
}

bool SetupForm::IsEnabled(uint32_t control) const {
    if (const AdapterOwned* owned = FindRow(kAdapterOwned, &AdapterOwned::id, control))
        return edited_.adapter == owned->adapter;
    return FindSetupControl(control) != nullptr;
}

void SetupForm::Click(uint32_t control) {
    SetChecked(control, ByRadio(control) ? true : !IsChecked(control));
}

void SetupForm::SetChecked(uint32_t control, bool checked) {
    if (!IsEnabled(control))
        return;
    if (const AdapterControls* adapter = ByRadio(control)) {
        if (checked)
            edited_.adapter = adapter->adapter;
    } else if (const StepBox* box = FindRow(kStepBoxes, &StepBox::id, control)) {
        edited_.autoSteps = checked ? edited_.autoSteps | box->bit : edited_.autoSteps & ~box->bit;
    } else if (const FlagBox* flagBox = FindRow(kFlagBoxes, &FlagBox::id, control)) {
        edited_.*(flagBox->flag) = checked != flagBox->inverted ? 1 : 0;
    }
}

void SetupForm::Select(uint32_t control, int index) {
    if (!IsEnabled(control) || index < 0 || static_cast<size_t>(index) >= ListItems(control).size())
        return;
    if (const AdapterControls* adapter = ByPortList(control))
        edited_.*(adapter->port) = static_cast<uint32_t>(index);
    else if (control == kSetupCtlBslSpeed)
        edited_.bslSpeed = kBslBaudRates[static_cast<size_t>(index)];
}

uint32_t SetupForm::Ok() {
    // A list without a selection stores its no-selection value.
    for (const AdapterControls& adapter : kAdapterControls)
        record_.*(adapter.port) = static_cast<uint32_t>(Selection(adapter.portList));
    record_.adapter = edited_.adapter;
    record_.autoSteps = edited_.autoSteps;
    for (const FlagBox& box : kFlagBoxes)
        record_.*(box.flag) = edited_.*(box.flag) != 0 ? 1 : 0;
    record_.bslSpeed = edited_.bslSpeed;
    return kSetupCtlOk;
}

} // namespace pyrola
