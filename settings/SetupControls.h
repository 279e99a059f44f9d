#pragma once
// The Setup dialog's template: its id and caption, the id, kind and caption of every
// control, and the captions of its group boxes. The dialog window and its resource script
// take them from here; SetupForm decides what each control shows and whether it is enabled.

#include <array>
#include <cstddef>
#include <cstdint>

namespace pyrola {

inline constexpr uint32_t kSetupDialogId = 201;
inline constexpr const char* kSetupCaption = "Setup";

// Control ids of the dialog template. The loader line's controls (speed and cable wiring)
// sit beside the BSL port and are enabled with it.
enum SetupControl : uint32_t {
    kSetupCtlOk = 1,     // "OK" (default button)
    kSetupCtlCancel = 2, // "Cancel"
    kSetupCtlEraseInfo = 1030,
    kSetupCtlMultipleInstances = 1031,
    kSetupCtlBslPort = 1035,
    kSetupCtlBsl = 1036,
    kSetupCtlFetPort = 1037,
    kSetupCtlFet = 1038,
    kSetupCtlRawPort = 1039,
    kSetupCtlRaw = 1040,
    kSetupCtlErase = 1041,
    kSetupCtlBlankCheck = 1042,
    kSetupCtlProgram = 1043,
    kSetupCtlVerify = 1044,
    kSetupCtlBslPatch = 1045,
    kSetupCtlRemoveGap = 1047,
    kSetupCtlAutoDetect = 1048,
    kSetupCtlReloadFile = 1052,
    kSetupCtlBslSpeed = 1080,
    kSetupCtlBslResetInverted = 1081,
    kSetupCtlBslTestInverted = 1082,
    kSetupCtlBslSwapResetTest = 1083,
    kSetupCtlFetNote = 2000,
    kSetupCtlRawNote = 2001,
    kSetupCtlBslSpeedLabel = 2002,
};

enum class SetupControlKind { Button, RadioButton, CheckBox, DropDownList, StaticText };

struct SetupControlInfo {
    uint32_t id;
    SetupControlKind kind;
    const char* caption; // empty for a drop-down list (its rows come from SetupForm::ListItems)
};

// Every control with an id, grouped as the dialog groups them (adapter, Autoprogram,
// options, the untitled group, buttons).
inline constexpr std::array<SetupControlInfo, 25> kSetupControls = {{
    {kSetupCtlBsl, SetupControlKind::RadioButton, "BSL"},
    {kSetupCtlBslPort, SetupControlKind::DropDownList, ""},
    {kSetupCtlBslPatch, SetupControlKind::CheckBox, "Patch to BL v150s"},
    {kSetupCtlBslSpeedLabel, SetupControlKind::StaticText, "Loader speed"},
    {kSetupCtlBslSpeed, SetupControlKind::DropDownList, ""},
    {kSetupCtlBslResetInverted, SetupControlKind::CheckBox, "Cable inverts the reset line"},
    {kSetupCtlBslTestInverted, SetupControlKind::CheckBox, "Cable inverts the test line"},
    {kSetupCtlBslSwapResetTest, SetupControlKind::CheckBox, "Cable swaps the reset and test lines"},
    {kSetupCtlFet, SetupControlKind::RadioButton, "FET"},
    {kSetupCtlFetPort, SetupControlKind::DropDownList, ""},
    {kSetupCtlFetNote, SetupControlKind::StaticText, "Access by msp430.dll. Require installed driver"},
    {kSetupCtlRaw, SetupControlKind::RadioButton, "RAW"},
    {kSetupCtlRawPort, SetupControlKind::DropDownList, ""},
    {kSetupCtlRawNote, SetupControlKind::StaticText, "Direct access to JTAG-interface"},
    {kSetupCtlReloadFile, SetupControlKind::CheckBox, "Reload file"},
    {kSetupCtlErase, SetupControlKind::CheckBox, "Erase"},
    {kSetupCtlBlankCheck, SetupControlKind::CheckBox, "Blank check"},
    {kSetupCtlProgram, SetupControlKind::CheckBox, "Programm"},
    {kSetupCtlVerify, SetupControlKind::CheckBox, "Verify"},
    {kSetupCtlMultipleInstances, SetupControlKind::CheckBox, "Allow multiple instances"},
    {kSetupCtlAutoDetect, SetupControlKind::CheckBox, "Autodetect filetype by extension"},
    {kSetupCtlRemoveGap, SetupControlKind::CheckBox, "Remove gap from file when saving"},
    {kSetupCtlEraseInfo, SetupControlKind::CheckBox, "Erase info memory"},
    {kSetupCtlOk, SetupControlKind::Button, "OK"},
    {kSetupCtlCancel, SetupControlKind::Button, "Cancel"},
}};

// Group boxes (no id): the adapter choice, the Auto steps, the options, and the untitled
// one around "Erase info memory".
inline constexpr const char* kSetupAdapterGroupCaption = "Adapter";
inline constexpr const char* kSetupAutoprogramGroupCaption = "Autoprogram";
inline constexpr const char* kSetupOptionsGroupCaption = "Options";
inline constexpr const char* kSetupEraseInfoGroupCaption = "";

// The control's row in kSetupControls; null for an id the dialog does not have.
constexpr const SetupControlInfo* FindSetupControl(uint32_t id) {
    for (const SetupControlInfo& control : kSetupControls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

namespace detail {
constexpr bool SetupControlIdsAreUnique() {
    for (size_t i = 0; i < kSetupControls.size(); ++i) {
        for (size_t j = i + 1; j < kSetupControls.size(); ++j) {
            if (kSetupControls[i].id == kSetupControls[j].id)
                return false;
        }
    }
    return true;
}
} // namespace detail
static_assert(detail::SetupControlIdsAreUnique(), "two Setup controls share an id");

} // namespace pyrola
