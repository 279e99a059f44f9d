#include "app/win32/SerializationDialog.h"

#include "app/win32/FileDialogs.h"
#include "app/win32/controls/DialogObject.h"
#include "app/win32/controls/DialogPlacement.h"
#include "app/win32/controls/WideText.h"
#include "app/win32/resource.h"
#include "serialno/SerializationForm.h"

#include <vector>

namespace pyrola::win32 {

static_assert(IDD_SERIALIZATION == kSerializationDialogId);
static_assert(IDC_SER_NEW == kSerCtlNew);
static_assert(IDC_SER_OPEN == kSerCtlOpen);
static_assert(IDC_SER_SAVE == kSerCtlSave);
static_assert(IDC_SER_CURRENT == kSerCtlCurrent);
static_assert(IDC_SER_READ == kSerCtlRead);
static_assert(IDC_SER_WRITE == kSerCtlWrite);
static_assert(IDC_SER_INC == kSerCtlInc);
static_assert(IDC_SER_ADDRESS == kSerCtlAddress);
static_assert(IDC_SER_IN_MEMORY == kSerCtlInMemory);
static_assert(IDC_SER_DEC == kSerCtlDec);
static_assert(IDC_SER_NUMBER == kSerCtlNumber);
static_assert(IDC_SER_SIZE == kSerCtlSize);
static_assert(IDC_SER_CONFIG_FILE == kSerCtlConfigFile);
static_assert(IDC_SER_PLACE_AS == kSerCtlPlaceAs);
static_assert(IDC_SER_NUMBER_CHECK == kSerCtlNumberCheck);
static_assert(IDC_SER_ADDRESS_CHECK == kSerCtlAddressCheck);
static_assert(IDOK == kSerCtlOk);

namespace {

// What the form reads of an edit field.
constexpr int kFieldLimit = 255;

} // namespace

SerializationDialog::SerializationDialog(HINSTANCE instance, SerializationForm& form,
                                         std::function<void()> closing)
    : instance_(instance), form_(form), closing_(std::move(closing)) {}

SerializationDialog::~SerializationDialog() {
    if (window_)
        DestroyWindow(window_);
}

bool SerializationDialog::Show(HWND owner) {
    if (!window_) {
        owner_ = owner;
        if (!CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_SERIALIZATION), owner, DialogProc,
                                reinterpret_cast<LPARAM>(this)))
            return false;
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    return true;
}

bool SerializationDialog::TranslateFor(MSG& message) {
    if (!window_ || (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    return IsDialogMessageW(window_, &message) != FALSE;
}

INT_PTR CALLBACK SerializationDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = DialogObject<SerializationDialog>(window, message, lParam);
    if (message == WM_INITDIALOG)
        self->window_ = window;
    if (!self)
        return FALSE;
    const INT_PTR result = self->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Also when the main window goes and takes its owned windows with it.
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->window_ = nullptr;
    }
    return result;
}

INT_PTR SerializationDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return FALSE; // the focus is set
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void SerializationDialog::OnInitDialog() {
    CentreDialog(window_, owner_);
    HWND placeAs = GetDlgItem(window_, IDC_SER_PLACE_AS);
    for (const char* name : SerializationForm::PlaceAsNames())
        SendMessageW(placeAs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(name).c_str()));
    SendDlgItemMessageW(window_, IDC_SER_ADDRESS, EM_LIMITTEXT, kFieldLimit, 0);
    SendDlgItemMessageW(window_, IDC_SER_NUMBER, EM_LIMITTEXT, kFieldLimit, 0);
    form_.Opened();
    Redraw();
    // The field a bench changes most.
    SetFocus(GetDlgItem(window_, IDC_SER_NUMBER));
}

void SerializationDialog::OnCommand(UINT id, UINT notification) {
    // Only the user's changes reach the form; the fields' other notifications (and those
    // of the dialog's own writes) change nothing.
    const bool userChange = !drawing_ && notification == (id == IDC_SER_PLACE_AS ? CBN_SELCHANGE : EN_CHANGE);
    switch (id) {
    case IDC_SER_ADDRESS:
        if (!userChange)
            return;
        form_.AddressEdited(FieldText(IDC_SER_ADDRESS));
        break;
    case IDC_SER_NUMBER:
        if (!userChange)
            return;
        form_.NumberEdited(FieldText(IDC_SER_NUMBER));
        break;
    case IDC_SER_PLACE_AS:
        if (!userChange)
            return;
        form_.PlaceAsSelected(
            static_cast<int>(SendDlgItemMessageW(window_, IDC_SER_PLACE_AS, CB_GETCURSEL, 0, 0)));
        break;
    case IDC_SER_INC:
        form_.IncClicked();
        break;
    case IDC_SER_DEC:
        form_.DecClicked();
        break;
    case IDC_SER_READ:
        form_.ReadClicked();
        break;
    case IDC_SER_WRITE:
        // A refusal that names a reason (the shared file) is shown; a running job is not.
        if (!form_.WriteClicked() && !form_.FileProblemText().empty())
            MessageBoxW(window_, Widen(form_.FileProblemText()).c_str(), L"Device serialization",
                        MB_OK | MB_ICONEXCLAMATION);
        break;
    case IDC_SER_NEW:
        form_.NewClicked();
        break;
    case IDC_SER_OPEN:
        OnOpen();
        break;
    case IDC_SER_SAVE:
        OnSave();
        break;
    case IDOK:
    case IDCANCEL:
        Close();
        return;
    default:
        return;
    }
    Redraw();
}

void SerializationDialog::OnOpen() {
    form_.OpenChosen(AskOpenSerialConfigPath(window_, form_.ConfigFileText()));
}

void SerializationDialog::OnSave() {
    if (!form_.SaveChosen(AskSaveSerialConfigPath(window_, form_.ConfigFileText())))
        MessageBoxW(window_, Widen(form_.FileProblemText()).c_str(), L"Device serialization",
                    MB_OK | MB_ICONEXCLAMATION);
}

void SerializationDialog::Close() {
    if (closing_)
        closing_();
    form_.Closed();
    DestroyWindow(window_);
}

void SerializationDialog::Redraw() {
    if (!window_)
        return;
    drawing_ = true;
    SetField(IDC_SER_CONFIG_FILE, form_.ConfigFileText());
    SetField(IDC_SER_ADDRESS, form_.AddressText());
    SetField(IDC_SER_ADDRESS_CHECK, form_.AddressCheckText());
    SetField(IDC_SER_NUMBER, form_.NumberText());
    SetField(IDC_SER_NUMBER_CHECK, form_.NumberCheckText());
    SendDlgItemMessageW(window_, IDC_SER_PLACE_AS, CB_SETCURSEL,
                        static_cast<WPARAM>(form_.PlaceAsSelection()), 0);
    SetField(IDC_SER_SIZE, form_.SizeText());
    SetField(IDC_SER_IN_MEMORY, form_.InMemoryText());
    SetField(IDC_SER_CURRENT, form_.CurrentText());
    const bool jobsAllowed = form_.JobButtonsEnabled();
    HWND focused = GetFocus();
    for (int id : {IDC_SER_READ, IDC_SER_WRITE})
        EnableWindow(GetDlgItem(window_, id), jobsAllowed);
    // The button just pressed may have been disabled by the job it started.
    if (focused && !IsWindowEnabled(focused) && IsChild(window_, focused))
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDOK)), TRUE);
    drawing_ = false;
}

std::string SerializationDialog::FieldText(int id) const {
    HWND control = GetDlgItem(window_, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

// Unchanged text is left alone, so the caret of a field being typed in stays put.
void SerializationDialog::SetField(int id, const std::string& text) {
    if (FieldText(id) != text)
        SetDlgItemTextW(window_, id, Widen(text).c_str());
}

} // namespace pyrola::win32
