#include "app/win32/SetupDialog.h"

#include "app/win32/controls/DialogObject.h"
#include "app/win32/controls/DialogPlacement.h"
#include "app/win32/controls/WideText.h"
#include "app/win32/resource.h"
#include "settings/SetupControls.h"
#include "settings/SetupForm.h"

namespace pyrola::win32 {

static_assert(IDD_SETUP == kSetupDialogId);
static_assert(IDC_SETUP_ERASE_INFO == kSetupCtlEraseInfo);
static_assert(IDC_SETUP_MULTIPLE_INSTANCES == kSetupCtlMultipleInstances);
static_assert(IDC_SETUP_BSL_PORT == kSetupCtlBslPort);
static_assert(IDC_SETUP_BSL == kSetupCtlBsl);
static_assert(IDC_SETUP_FET_PORT == kSetupCtlFetPort);
static_assert(IDC_SETUP_FET == kSetupCtlFet);
static_assert(IDC_SETUP_RAW_PORT == kSetupCtlRawPort);
static_assert(IDC_SETUP_RAW == kSetupCtlRaw);
static_assert(IDC_SETUP_ERASE == kSetupCtlErase);
static_assert(IDC_SETUP_BLANK_CHECK == kSetupCtlBlankCheck);
static_assert(IDC_SETUP_PROGRAM == kSetupCtlProgram);
static_assert(IDC_SETUP_VERIFY == kSetupCtlVerify);
static_assert(IDC_SETUP_BSL_PATCH == kSetupCtlBslPatch);
static_assert(IDC_SETUP_REMOVE_GAP == kSetupCtlRemoveGap);
static_assert(IDC_SETUP_AUTODETECT == kSetupCtlAutoDetect);
static_assert(IDC_SETUP_RELOAD_FILE == kSetupCtlReloadFile);
static_assert(IDC_SETUP_BSL_SPEED == kSetupCtlBslSpeed);
static_assert(IDC_SETUP_BSL_RESET_INVERTED == kSetupCtlBslResetInverted);
static_assert(IDC_SETUP_BSL_TEST_INVERTED == kSetupCtlBslTestInverted);
static_assert(IDC_SETUP_BSL_SWAP_RESET_TEST == kSetupCtlBslSwapResetTest);
static_assert(IDC_SETUP_FET_NOTE == kSetupCtlFetNote);
static_assert(IDC_SETUP_RAW_NOTE == kSetupCtlRawNote);
static_assert(IDC_SETUP_BSL_SPEED_LABEL == kSetupCtlBslSpeedLabel);
static_assert(IDOK == kSetupCtlOk && IDCANCEL == kSetupCtlCancel);

namespace {

struct DialogState {
    HWND owner;
    SetupForm& form;
};

bool IsButton(SetupControlKind kind) {
    return kind == SetupControlKind::RadioButton || kind == SetupControlKind::CheckBox;
}

// Every control as the form says: checked, selected, enabled.
void Draw(HWND dialog, const SetupForm& form) {
    for (const SetupControlInfo& control : kSetupControls) {
        HWND item = GetDlgItem(dialog, static_cast<int>(control.id));
        if (IsButton(control.kind))
            SendMessageW(item, BM_SETCHECK, form.IsChecked(control.id) ? BST_CHECKED : BST_UNCHECKED, 0);
        else if (control.kind == SetupControlKind::DropDownList)
            SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(form.Selection(control.id)), 0);
        EnableWindow(item, form.IsEnabled(control.id));
    }
}

// The captions and list rows come from the form's table; the template only places them.
void Fill(HWND dialog) {
    SetWindowTextW(dialog, Widen(kSetupCaption).c_str());
    for (const SetupControlInfo& control : kSetupControls) {
        HWND item = GetDlgItem(dialog, static_cast<int>(control.id));
        if (control.kind == SetupControlKind::DropDownList) {
            for (const std::string& row : SetupForm::ListItems(control.id))
                SendMessageW(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(row).c_str()));
        } else {
            SetWindowTextW(item, Widen(control.caption).c_str());
        }
    }
    SetDlgItemTextW(dialog, IDC_SETUP_ADAPTER_GROUP, Widen(kSetupAdapterGroupCaption).c_str());
    SetDlgItemTextW(dialog, IDC_SETUP_AUTOPROGRAM_GROUP, Widen(kSetupAutoprogramGroupCaption).c_str());
    SetDlgItemTextW(dialog, IDC_SETUP_OPTIONS_GROUP, Widen(kSetupOptionsGroupCaption).c_str());
    SetDlgItemTextW(dialog, IDC_SETUP_ERASE_INFO_GROUP, Widen(kSetupEraseInfoGroupCaption).c_str());
}

// What the user did with control id; false when it was nothing the form takes.
bool Forward(HWND dialog, SetupForm& form, UINT id, UINT notification) {
    const SetupControlInfo* control = FindSetupControl(id);
    if (!control)
        return false;
    if (IsButton(control->kind) && notification == BN_CLICKED) {
        form.SetChecked(id, IsDlgButtonChecked(dialog, static_cast<int>(id)) == BST_CHECKED);
        return true;
    }
    if (control->kind == SetupControlKind::DropDownList && notification == CBN_SELCHANGE) {
        form.Select(id,
                    static_cast<int>(SendDlgItemMessageW(dialog, static_cast<int>(id), CB_GETCURSEL, 0, 0)));
        return true;
    }
    return false;
}

INT_PTR CALLBACK SetupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = DialogObject<DialogState>(dialog, message, lParam);
    switch (message) {
    case WM_INITDIALOG:
        Fill(dialog);
        Draw(dialog, state->form);
        CentreDialog(dialog, state->owner);
        return TRUE;
    case WM_COMMAND: {
        if (!state)
            return FALSE;
        const UINT id = LOWORD(wParam);
        if (id == IDOK) {
            EndDialog(dialog, static_cast<INT_PTR>(state->form.Ok()));
        } else if (id == IDCANCEL) {
            EndDialog(dialog, static_cast<INT_PTR>(state->form.Cancel()));
        } else if (Forward(dialog, state->form, id, HIWORD(wParam))) {
            Draw(dialog, state->form);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

std::optional<Settings> RunSetupDialog(HWND owner, const Settings& current) {
    Settings edited = current;
    SetupForm form(edited);
    DialogState state{owner, form};
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETUP), owner,
                                           SetupProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK)
        return std::nullopt;
    return edited;
}

} // namespace pyrola::win32
