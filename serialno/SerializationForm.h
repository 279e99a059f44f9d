#pragma once
// The serialization dialog's logic without its window: the texts of every field, what each
// control event does, the ".sprj" file's New/Open/Save, and the requests to the main
// window (9 read the serial, 10 write it, 2 refresh the command states). The form and
// its configuration live as long as the main window, so closing and reopening the dialog
// keeps them; the window only draws the form and forwards the user's actions.
//
// Drawing rule for the window: after every call into the form, set each control from the
// getters. The form already carries out what a control's change notification would cause
// when the dialog writes a field itself (for "Unique number" with the one-shot flag), so
// the window must not forward the change notifications that its own SetWindowText causes,
// only the ones the user causes.

#include "image/MemoryImage.h"
#include "jobs/MessageBus.h"
#include "jobs/SerialBlock.h"
#include "platform/ProfileFile.h"
#include "serialno/SerialConfig.h"
#include "serialno/SerialFormat.h"
#include "serialno/SharedSerialFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pyrola {

inline constexpr uint32_t kSerializationDialogId = 203;
inline constexpr const char* kSerializationCaption = "Device serialization";

// Control ids of the dialog template.
enum SerializationControl : uint32_t {
    kSerCtlOk = 1,             // "OK" (default button); the cancel command does the same
    kSerCtlNew = 1060,         // "&New"
    kSerCtlOpen = 1061,        // "&Open"
    kSerCtlSave = 1062,        // "&Save"
    kSerCtlCurrent = 1063,     // "Current", read-only edit
    kSerCtlRead = 1064,        // "&Read"
    kSerCtlWrite = 1065,       // "&Write"
    kSerCtlInc = 1066,         // "&Inc(+)"
    kSerCtlAddress = 1067,     // "Address in Flash", edit
    kSerCtlInMemory = 1068,    // "In memory", read-only edit
    kSerCtlDec = 1069,         // "Dec(-)"
    kSerCtlNumber = 1070,      // "Unique number", edit
    kSerCtlSize = 1071,        // size, static text
    kSerCtlConfigFile = 1072,  // config file name, read-only edit
    kSerCtlPlaceAs = 1073,     // "Place as", drop-down list
    kSerCtlNumberCheck = 1074, // number check, static text
    kSerCtlAddressCheck = 1075 // address check, static text
};

inline constexpr const char* kSerialInvalidInputText = "Error. Invalid input.";
inline constexpr const char* kSerialOnImageText = "Warning. The serial overlaps the image.";
// The open and save dialogs: filter name and pattern pairs, in order, and the default
// extension ("sprj").
inline constexpr std::array<const char*, 4> kSerialConfigFilter = {"Serial Config (*.sprj)", "*.sprj",
                                                                   "All files (*.*)", "*.*"};

class SerializationForm {
public:
    // profile reads and writes the ".sprj" files; block is the job engine's SerialBlock;
    // mainWindow carries the requests to the shell. jobRunning tells whether a job runs
    // (null: never). shared, when given, is how the open ".sprj" file is shared with the
    // production line: Write takes the file's number as the headless program does, and
    // Save never moves its counter back. All must outlive the form.
    SerializationForm(ProfileFile& profile, SerialBlock& block, MessageBus& mainWindow,
                      std::function<bool()> jobRunning = {}, SharedSerialFile* shared = nullptr);
    SerializationForm(const SerializationForm&) = delete;
    SerializationForm& operator=(const SerializationForm&) = delete;

    // --- the dialog window's life ------------------------------------------------------
    // The window was created: the fields are refreshed, then "In memory".
    void Opened();
    // "OK" or the cancel command: posts request 2. The caller destroys the window (and tells
    // the shell the dialog is gone before, so that the Serialization command comes back).
    void Closed();

    // --- what the window shows -----------------------------------------------------------
    const std::string& ConfigFileText() const { return configFileText_; } // 1072
    const std::string& AddressText() const { return addressText_; }       // 1067, "0x%X"
    // 1075: "Error. Invalid input.", or the warning that the serial lies on bytes of the
    // image (the window's), which Write then refuses.
    const std::string& AddressCheckText() const {
        return addressCheckText_.empty() ? overlapWarning_ : addressCheckText_;
    }
    const std::string& NumberText() const { return numberText_; }           // 1070
    const std::string& NumberCheckText() const { return numberCheckText_; } // 1074
    // 1073: the five type names in list order, and the selected row (-1: none, for a type
    // value from a file that is none of them).
    static const std::array<const char*, 5>& PlaceAsNames();
    int PlaceAsSelection() const;
    const std::string& SizeText() const { return sizeText_; }         // 1071, "Size: %d bytes"
    const std::string& InMemoryText() const { return inMemoryText_; } // 1068
    const std::string& CurrentText() const { return currentText_; }   // 1063
    // "&Read" and "&Write": disabled while a job runs (its worker may use the block).
    bool JobButtonsEnabled() const;

    // --- control events ----------------------------------------------------------------
    // The user changed "Address in Flash" / "Unique number" (the control's whole text).
    void AddressEdited(const std::string& text);
    void NumberEdited(const std::string& text);
    // The user picked row index of "Place as".
    void PlaceAsSelected(int index);
    void IncClicked();
    void DecClicked();
    // Compose the serial into the block and send request 9 (Read) or 10 (Write). False, and
    // nothing done, while a job runs. With a shared file open, Write takes the file's
    // current number under its lock (the file steps to the next, which the fields then
    // show); false, nothing done, when the file refuses, and FileProblemText() says why.
    bool ReadClicked();
    bool WriteClicked();
    void NewClicked();
    // After the open or save file dialog: the chosen path, or nothing when cancelled.
    // Open reads the file (missing keys and a missing file give the defaults) and refreshes
    // the fields in both cases. Save writes Address, Type and Serial; false when the file
    // could not be written (or, with a shared file, its counter is already past the
    // configuration's: the numbers between may be on boards), and FileProblemText() says so.
    void OpenChosen(const std::optional<std::string>& path);
    bool SaveChosen(const std::optional<std::string>& path);
    // Empty, or why the last save failed (for a message box).
    const std::string& FileProblemText() const { return fileProblemText_; }

    // A serial job ended (bus request 11): "In memory" shows what the block holds. The shell
    // calls it when the form was handed to it (ProgrammerShell::SetSerializationForm), just
    // before it asks the view to redraw the field (ShellView::RefreshSerialization).
    void RefreshInMemory();

    // The memory image a write must not overwrite (the window's); null: none.
    void SetImage(const MemoryImage* image) { image_ = image; }

    SerialConfig& Config() { return config_; }
    SerialFormat& SerialNumberFormat() { return format_; }

private:
    void RefreshFields();
    // The dialog writes a field itself; the control's change notification follows.
    void RewriteAddressField(const std::string& text);
    void RewriteNumberField(const std::string& text);
    void ParseNumberField();
    void ShowStepped();
    // The reason a serial of config would overwrite image bytes; empty when it would not.
    std::string ImageOverlap(const SerialConfig& config) const;
    void RefreshOverlap();
    bool RequestJob(uint32_t code);

    ProfileFile& profile_;
    SerialBlock& block_;
    MessageBus& mainWindow_;
    std::function<bool()> jobRunning_;
    SharedSerialFile* shared_;
    const MemoryImage* image_ = nullptr;
    std::string overlapWarning_;
    SerialConfig config_;
    SerialFormat format_{config_};
    // Makes the next change notification of "Unique number" be ignored.
    bool skipNumberChange_ = false;
    std::string configFileText_, addressText_, addressCheckText_, numberText_, numberCheckText_;
    std::string sizeText_, inMemoryText_ = "???", currentText_ = "???", fileProblemText_;
};

} // namespace pyrola
