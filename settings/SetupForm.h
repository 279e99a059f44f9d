#pragma once
// The Setup dialog's logic without its window: the controls' state filled from the
// settings record, the user's edits to it, the enabling rule (only the checked adapter's
// port list and the controls beside it are enabled) and what OK writes into the record.
// The gap byte and the device override have no control; OK leaves them as they are.
//
// Drawing rule for the window: fill each drop-down list from ListItems once, then after
// creating the controls and after every call into the form set every control of
// kSetupControls from Selection, IsChecked and IsEnabled. Forward what the user does to
// Click (or SetChecked) and Select; end with Ok or Cancel.

#include "settings/Settings.h"
#include "settings/SetupControls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola {

// Rows in each port list: LPT1 ... LPT7 and COM1 ... COM7, row i for the stored port i.
inline constexpr int kSetupPortCount = 7;

class SetupForm {
public:
    // record is what the dialog edits; it must outlive the form, and only Ok writes it.
    explicit SetupForm(Settings& record);
    SetupForm(const SetupForm&) = delete;
    SetupForm& operator=(const SetupForm&) = delete;

    // --- what the window shows -----------------------------------------------------------
    // The rows of a drop-down list, in order: "LPT1" ... "LPT7" for the FET and RAW port
    // lists, "COM1" ... "COM7" for the BSL port list, "9600 baud", "19200 baud",
    // "38400 baud" for the loader speed. Empty for any other control.
    static std::vector<std::string> ListItems(uint32_t control);
    // The selected row of a drop-down list; -1 when nothing is selected (a stored port of
    // 7 or more) and for any other control.
    int Selection(uint32_t control) const;
    // Whether a radio button or check box is checked; false for any other control.
    bool IsChecked(uint32_t control) const;
    // The FET port list and note only while "FET" is checked, the RAW port list and note
    // only while "RAW" is checked, the BSL port list, "Patch to BL v150s" and the loader
    // line's controls only while "BSL" is checked; every other control of the dialog
    // always. False for an id the dialog does not have.
    bool IsEnabled(uint32_t control) const;

    // --- what the user does ----------------------------------------------------------------
    // A click as the control handles it itself: a radio button becomes the checked adapter
    // (its controls enabled, the others' disabled), a check box toggles. Ignored for a
    // disabled control and for other ids.
    void Click(uint32_t control);
    // A button that keeps its own state reports it: checking a radio button chooses its
    // adapter (unchecking one is ignored: one of the three is always checked); a check box
    // takes the state. Ignored for a disabled control and for other ids.
    void SetChecked(uint32_t control, bool checked);
    // The user picked row index of a drop-down list. Ignored for a disabled list, a row the
    // list does not have, and other ids.
    void Select(uint32_t control, int index);

    // "OK": each port becomes its list's selected row (-1 when none, stored as 0xFFFFFFFF),
    // the adapter the checked radio button (BSL 2, FET 0, RAW 1), the Auto steps exactly the
    // bits of the five checked boxes (every other bit of the old value is dropped), the
    // options and the loader line their controls. Returns 1, the dialog's result.
    uint32_t Ok();
    // "Cancel": the record stays as it was. Returns 2, the dialog's result.
    uint32_t Cancel() const { return kSetupCtlCancel; }

private:
    Settings& record_;
    // The controls' state in the record's own terms. Ports keep the stored value (one of 7
    // or more shows as no selection); the adapter is one of the three, the Auto steps hold
    // only the five boxes' bits and the speed is one of the listed rates.
    Settings edited_;
};

} // namespace pyrola
