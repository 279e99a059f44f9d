#include "app/win32/MainWindow.h"

#include "adapters/DeviceTable.h"
#include "app/CommandStates.h"
#include "app/win32/AboutDialog.h"
#include "app/win32/FileDialogs.h"
#include "app/win32/FileFormatDialog.h"
#include "app/win32/SetupDialog.h"
#include "app/win32/Win32MessageBus.h"
#include "app/win32/controls/ControlTips.h"
#include "app/win32/controls/DialogObject.h"
#include "app/win32/controls/DialogPlacement.h"
#include "app/win32/controls/WideText.h"
#include "app/win32/resource.h"
#include "cli/SerialCounterFile.h"

#include <commctrl.h>
#include <iterator>
#include <shellapi.h>
#include <vector>

namespace pyrola::win32 {

// The resource numbers are the shell's command numbers.
static_assert(IDM_EXIT == kCmdExit);
static_assert(IDM_PROGRAM == kCmdProgram);
static_assert(IDM_READ == kCmdRead);
static_assert(IDM_VERIFY == kCmdVerify);
static_assert(IDM_ERASE == kCmdErase);
static_assert(IDM_AUTO == kCmdAuto);
static_assert(IDM_CANCEL == kCmdCancel);
static_assert(IDM_BLANK_CHECK == kCmdBlankCheck);
static_assert(IDM_RESET == kCmdReset);
static_assert(IDM_READ_DS18B20 == kCmdReadDs18b20);
static_assert(IDM_DUMP_DEVICE_ID == kCmdDumpDeviceId);
static_assert(IDM_DUMP_RAM == kCmdDumpRam);
static_assert(IDM_DUMP_BSL == kCmdDumpBsl);
static_assert(IDM_SETUP == kCmdSetup);
static_assert(IDM_SERIALIZATION == kCmdSerialization);
static_assert(IDM_CREATE_RANDOM_FILE == kCmdCreateRandomFile);
static_assert(IDM_RELOAD_FILE == kCmdReloadFile);
static_assert(IDM_OPEN == kCmdOpen);
static_assert(IDM_SAVE == kCmdSave);
static_assert(IDM_RECENT_FIRST == kCmdRecentFirst);
static_assert(IDM_RECENT_LAST == kCmdRecentLast);
static_assert(IDM_ABOUT == kCmdAbout);
static_assert(IDM_RECENT_LAST - IDM_RECENT_FIRST + 1 == RecentFileList::kMaxCapacity);

namespace {

// The button column, top to bottom, in its groups.
constexpr UINT kButtonIds[] = {IDM_OPEN,        IDM_SAVE,    IDM_AUTO,   IDM_ERASE,
                               IDM_BLANK_CHECK, IDM_PROGRAM, IDM_VERIFY, IDM_READ,
                               IDM_RESET,       IDM_CANCEL,  IDM_SETUP,  IDM_SERIALIZATION};
constexpr int kButtonGroups[] = {2, 8, 2};
// The "Recent &Files" submenu: position 4 of the first menu.
constexpr int kFileMenu = 0;
constexpr int kRecentMenu = 4;
constexpr int kMaxTipWidth = 200;
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kClosePollMs = 20;
constexpr int kQuitCode = 2;

thread_local MainWindow* tCreating = nullptr;

} // namespace

MainWindow::MainWindow(HINSTANCE instance, SettingsStore& store, const AdapterSet& adapters,
                       Win32MessageBus& bus, InstanceChannel* channel)
    : instance_(instance), bus_(bus), shell_(*this, store, bus, adapters) {
    shell_.SetInstanceChannel(channel);
    // The open .sprj is shared with the production line: numbers are taken from it under
    // its lock, as the headless program takes them.
    serialForm_ = std::make_unique<SerializationForm>(
        SystemProfileFile(), shell_.Engine().Serial(), bus_, [this] { return shell_.IsJobRunning(); },
        &SystemSharedSerialFile());
    serialForm_->SetImage(&shell_.Image());
    shell_.SetSerializationForm(serialForm_.get());
    serialDialog_ = std::make_unique<SerializationDialog>(instance_, *serialForm_,
                                                          [this] { shell_.SetSerializationOpen(false); });
}

MainWindow::~MainWindow() {
    bus_.Shutdown();
    shell_.SetSerializationForm(nullptr);
    serialDialog_.reset();
    if (window_)
        DestroyWindow(window_);
    if (bigIcon_)
        DestroyIcon(bigIcon_);
    if (smallIcon_)
        DestroyIcon(smallIcon_);
}

bool MainWindow::Create(int show) {
    accelerators_ = LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME));
    tCreating = this;
    HWND window = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_PYROLA_DIALOG), nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    tCreating = nullptr;
    if (!window)
        return false;
    ShowWindow(window, show);
    UpdateWindow(window);
    return true;
}

bool MainWindow::TranslateFor(MSG& message) {
    if (serialDialog_->TranslateFor(message))
        return true;
    if (!window_ || (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    if (accelerators_ && TranslateAcceleratorW(window_, accelerators_, &message))
        return true;
    return IsDialogMessageW(window_, &message) != FALSE;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = DialogObject<MainWindow>(window, message, lParam);
    if (message == WM_INITDIALOG)
        self->window_ = window;
    if (!self)
        self = tCreating; // messages of the controls' creation, before WM_INITDIALOG
    if (!self)
        return FALSE;
    const INT_PTR result = self->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        self->window_ = nullptr;
    return result;
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == bus_.Message() && message != 0) {
        OnBusMessage(wParam, lParam);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_SIZE:
        ApplyLayout();
        return TRUE;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return TRUE;
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item->CtlID != IDC_MEMORY)
            return FALSE;
        item->itemHeight = static_cast<UINT>(memory_.RowHeight());
        return TRUE;
    }
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return FALSE;
    case WM_TIMER:
        if (wParam == kCloseTimer)
            FinishCloseWhenIdle();
        return TRUE;
    case WM_CLOSE:
        BeginClose();
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(kQuitCode);
        return FALSE;
    default:
        return FALSE;
    }
}

void MainWindow::OnInitDialog() {
    tips_ = CreateControlTips(window_, instance_, kMaxTipWidth);
    bigIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    status_.Attach(GetDlgItem(window_, IDC_STATUS));
    log_.Attach(GetDlgItem(window_, IDC_LOG));
    memory_.Attach(GetDlgItem(window_, IDC_MEMORY));
    FillRecentMenu();
    DragAcceptFiles(window_, TRUE);
    FillDeviceList();
    bus_.Attach(window_);
    shell_.Initialize();

    MeasureLayout();
    FitInitialSize();
    ApplyLayout();
}

void MainWindow::FillDeviceList() {
    HWND devices = GetDlgItem(window_, IDC_DEVICE);
    for (uint32_t i = 0; i < kDeviceCount; ++i)
        SendMessageW(devices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(DeviceName(i)).c_str()));
}

// --- layout ---------------------------------------------------------------------------

void MainWindow::MeasureLayout() {
    RECT units{0, 0, 4, 8};
    MapDialogRect(window_, &units);
    auto x = [&](int dialogUnits) { return MulDiv(dialogUnits, units.right, 4); };
    auto y = [&](int dialogUnits) { return MulDiv(dialogUnits, units.bottom, 8); };
    RECT combo{};
    GetWindowRect(GetDlgItem(window_, IDC_DEVICE), &combo);
    metrics_.margin = y(6);
    metrics_.gap = y(3);
    metrics_.groupGap = y(9);
    metrics_.buttonWidth = x(62);
    metrics_.buttonHeight = y(14);
    metrics_.buttonGroups.assign(std::begin(kButtonGroups), std::end(kButtonGroups));
    metrics_.comboWidth = x(96);
    metrics_.comboHeight = combo.bottom - combo.top;
    metrics_.infoHeight = y(9);
    metrics_.logHeight = y(64);
    metrics_.statusHeight = status_.Height();
    metrics_.memoryMinWidth = memory_.RequiredWidth();
    metrics_.memoryMinHeight = memory_.RowHeight() * 12 + 4;
}

// The template's size, grown until the memory view shows whole rows and nothing overlaps.
void MainWindow::FitInitialSize() {
    const MainLayout smallest = LayoutMainWindow(metrics_, 0, 0);
    RECT client{};
    GetClientRect(window_, &client);
    const int width = std::max<int>(client.right, smallest.minWidth);
    const int height = std::max<int>(client.bottom, smallest.minHeight);
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)),
                       GetMenu(window_) != nullptr, static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreDialog(window_, nullptr);
}

void MainWindow::ApplyLayout() {
    if (!window_ || metrics_.buttonWidth == 0 || IsIconic(window_))
        return;
    status_.Resize();
    RECT client{};
    GetClientRect(window_, &client);
    const MainLayout layout = LayoutMainWindow(metrics_, client.right, client.bottom);
    std::vector<std::pair<HWND, LayoutBox>> places = {
        {memory_.Handle(), layout.memory},
        {GetDlgItem(window_, IDC_DEVICE), layout.combo},
        {GetDlgItem(window_, IDC_DEVICE_INFO), layout.info},
        {log_.Handle(), layout.log},
    };
    for (size_t i = 0; i < layout.buttons.size() && i < std::size(kButtonIds); ++i)
        places.push_back({GetDlgItem(window_, static_cast<int>(kButtonIds[i])), layout.buttons[i]});
    HDWP batch = BeginDeferWindowPos(static_cast<int>(places.size()));
    for (const auto& [control, box] : places) {
        if (batch && control)
            batch = DeferWindowPos(batch, control, nullptr, box.left, box.top, box.width,
                                   // a drop-down list's height is that of its open list
                                   control == GetDlgItem(window_, IDC_DEVICE) ? box.height * 12 : box.height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch)
        EndDeferWindowPos(batch);
    InvalidateRect(window_, nullptr, TRUE);
}

void MainWindow::OnGetMinMaxInfo(MINMAXINFO& info) const {
    if (!window_ || metrics_.buttonWidth == 0)
        return;
    const MainLayout smallest = LayoutMainWindow(metrics_, 0, 0);
    RECT frame{0, 0, smallest.minWidth, smallest.minHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)),
                       GetMenu(window_) != nullptr, static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    info.ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
}

// --- what the user does ---------------------------------------------------------------

void MainWindow::OnCommand(UINT id, UINT notification) {
    if (closing_)
        return;
    if (id == IDC_DEVICE) {
        if (notification == CBN_SELCHANGE) {
            const LRESULT index = SendDlgItemMessageW(window_, IDC_DEVICE, CB_GETCURSEL, 0, 0);
            if (index >= 0)
                shell_.SelectDevice(static_cast<uint32_t>(index));
        }
        return;
    }
    if (id == IDC_LOG || id == IDC_MEMORY || id == IDC_STATUS || id == IDC_DEVICE_INFO)
        return; // notifications of the views, not commands
    switch (id) {
    case IDOK:
        return; // Enter in the dialog has no command
    case IDM_EXIT:
        BeginClose();
        return;
    case IDM_OPEN:
        OnOpen();
        return;
    case IDM_SAVE:
        OnSave();
        return;
    case IDM_ABOUT:
        OnAbout();
        return;
    case IDM_COPY:
        log_.CopySelection(window_);
        return;
    case IDM_CUT:
    case IDM_PASTE:
    case IDM_UNDO:
        return; // the log list is read-only
    case IDM_SETUP:
        OnSetup();
        return;
    case IDM_SERIALIZATION:
        OnSerialization();
        return;
    default:
        shell_.ExecuteCommand(id);
        return;
    }
}

void MainWindow::OnOpen() {
    if (!shell_.ComputeCommandStates().IsEnabled(kCmdOpen))
        return;
    EnterModal();
    const std::optional<std::string> path = AskOpenPath(window_, shell_.CurrentFile());
    LeaveModal();
    if (path)
        shell_.LoadFile(*path);
}

void MainWindow::OnSave() {
    if (!shell_.ComputeCommandStates().IsEnabled(kCmdSave))
        return;
    EnterModal();
    const std::optional<std::string> path = AskSavePath(window_, shell_.CurrentFile());
    LeaveModal();
    if (path)
        shell_.SaveFile(*path);
}

void MainWindow::OnAbout() {
    EnterModal();
    RunAboutDialog(window_);
    LeaveModal();
}

void MainWindow::OnSetup() {
    if (!shell_.ComputeCommandStates().IsEnabled(kCmdSetup))
        return;
    EnterModal();
    const std::optional<Settings> edited = RunSetupDialog(window_, shell_.GetSettings());
    LeaveModal();
    if (edited) {
        shell_.GetSettings() = *edited;
        shell_.SettingsConfirmed();
    }
    shell_.RefreshCommandStates();
}

void MainWindow::OnSerialization() {
    if (!shell_.ComputeCommandStates().IsEnabled(kCmdSerialization))
        return;
    if (serialDialog_->Show(window_))
        shell_.SetSerializationOpen(true);
    shell_.RefreshCommandStates();
}

void MainWindow::OnDropFiles(HDROP drop) {
    std::vector<std::string> paths;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(length);
        paths.push_back(Narrow(path)); // only the first file of a drop is taken
    }
    DragFinish(drop);
    if (!closing_)
        shell_.LoadDroppedFiles(paths);
}

void MainWindow::OnInitMenuPopup(HMENU menu) {
    if (menu == GetSubMenu(GetSubMenu(GetMenu(window_), kFileMenu), kRecentMenu))
        FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
    HMENU recent = GetSubMenu(GetSubMenu(GetMenu(window_), kFileMenu), kRecentMenu);
    if (!recent)
        return;
    while (GetMenuItemCount(recent) > 0)
        DeleteMenu(recent, 0, MF_BYPOSITION);
    const RecentFileList& list = shell_.RecentFiles();
    if (list.Entries().empty()) {
        AppendMenuW(recent, MF_STRING | MF_GRAYED, IDM_RECENT_FIRST, Widen(list.MenuText(0)).c_str());
        return;
    }
    for (size_t i = 0; i < list.Entries().size(); ++i)
        AppendMenuW(recent, MF_STRING, IDM_RECENT_FIRST + i, Widen(list.MenuText(i)).c_str());
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlID == IDC_MEMORY)
        memory_.DrawRow(item);
    else if (item.CtlID == IDC_STATUS)
        status_.Draw(item);
}

void MainWindow::OnBusMessage(WPARAM code, LPARAM value) {
    if (code == kBusNewInstance) {
        // The second start waits for this answer only; it need not wait for the command line.
        if (InSendMessage())
            ReplyMessage(TRUE);
        if (closing_)
            return;
        if (modal_ > 0) {
            handOverWaiting_ = true;
            return;
        }
    }
    if (closing_ && (code == kBusReadSerial || code == kBusWriteSerial))
        return; // no new job while closing
    shell_.HandleBusMessage(static_cast<uint32_t>(code), static_cast<uintptr_t>(value));
    if (closing_ && code == kBusJobState)
        FinishCloseWhenIdle();
}

void MainWindow::LeaveModal() {
    if (--modal_ == 0 && handOverWaiting_ && window_) {
        handOverWaiting_ = false;
        PostMessageW(window_, bus_.Message(), kBusNewInstance, 0);
    }
}

void MainWindow::BeginClose() {
    if (closing_ || !window_)
        return;
    closing_ = true;
    shell_.Exit();
    FinishCloseWhenIdle();
}

void MainWindow::FinishCloseWhenIdle() {
    // A worker may be blocked in a send to this window: keep serving it until it is gone.
    if (shell_.ImageInUse()) {
        SetTimer(window_, kCloseTimer, kClosePollMs, nullptr);
        return;
    }
    KillTimer(window_, kCloseTimer);
    bus_.Shutdown();
    DestroyWindow(window_);
}

// --- what the shell shows ------------------------------------------------------------

void MainWindow::AppendLog(const std::string& line) {
    if (window_)
        log_.Append(Widen(line));
}

void MainWindow::SetStatusText(const std::string& text) {
    if (window_)
        status_.SetText(Widen(text));
}

void MainWindow::SetStatusError(bool error) {
    if (window_)
        status_.SetError(error);
}

void MainWindow::SetAdapterLabel(const std::string& label) {
    if (window_)
        status_.SetLabel(Widen(label));
}

void MainWindow::ProgressCreate(uint32_t range) {
    if (window_)
        status_.ProgressCreate(range);
}

void MainWindow::ProgressStep() {
    if (window_)
        status_.ProgressStep();
}

void MainWindow::ProgressSetPosition(uint32_t position) {
    if (window_)
        status_.ProgressSetPosition(position);
}

void MainWindow::ProgressDestroy() {
    if (window_)
        status_.ProgressDestroy();
}

void MainWindow::SetTitle(const std::string& title) {
    if (window_)
        SetWindowTextW(window_, Widen(title).c_str());
}

void MainWindow::SetCommandStates(const CommandStates& states) {
    if (!window_)
        return;
    HWND focused = GetFocus();
    HMENU menu = GetMenu(window_);
    for (const auto& [id, enabled] : states.items) {
        if (HWND button = GetDlgItem(window_, static_cast<int>(id)))
            EnableWindow(button, enabled);
        if (menu)
            EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    if (states.focusToCancelWhenDisabled)
        MoveFocusOffDisabled(focused);
    // Its Read and Write follow whether a job runs.
    serialDialog_->Redraw();
}

// The focus sat on a button that is now disabled: Cancel takes it, or the memory view
// while Cancel is disabled too (so the keyboard always has somewhere to go).
void MainWindow::MoveFocusOffDisabled(HWND focused) {
    if (!focused || IsWindowEnabled(focused) || (focused != window_ && !IsChild(window_, focused)))
        return;
    HWND cancel = GetDlgItem(window_, IDM_CANCEL);
    HWND target = cancel && IsWindowEnabled(cancel) ? cancel : memory_.Handle();
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

void MainWindow::ShowDevice(uint32_t index, const std::string& information) {
    if (!window_)
        return;
    SendDlgItemMessageW(window_, IDC_DEVICE, CB_SETCURSEL, index, 0);
    SetDlgItemTextW(window_, IDC_DEVICE_INFO, Widen(information).c_str());
}

void MainWindow::RefreshMemoryView(uint32_t scrollAddress) {
    if (!window_)
        return;
    // While a worker may be changing the image the view keeps painting its last copy.
    if (!shell_.ImageInUse())
        memory_.SetImage(shell_.Image());
    memory_.ScrollTo(scrollAddress);
}

FileFormat MainWindow::AskFormat(FileFormat preselected, uint32_t* binaryBase) {
    EnterModal();
    const FileFormat chosen = RunFileFormatDialog(window_, preselected, binaryBase);
    LeaveModal();
    return chosen;
}

void MainWindow::BringToFront() {
    if (!window_)
        return;
    if (IsIconic(window_))
        ShowWindow(window_, SW_RESTORE);
    SetForegroundWindow(window_);
}

void MainWindow::RefreshSerialization() {
    serialDialog_->Redraw();
}

void MainWindow::Beep() {
    MessageBeep(MB_ICONHAND);
}

std::optional<bool> MainWindow::Ask(const std::string& title, const std::string& question) {
    // No by default: the question comes after a failure, and Enter must not start a long job.
    const int answer = MessageBoxW(window_, Widen(question).c_str(), Widen(title).c_str(),
                                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    const bool yes = answer == IDYES;
    if (yes)
        SetCursor(LoadCursor(nullptr, IDC_WAIT)); // the update blocks this thread a while
    return yes;
}

} // namespace pyrola::win32
