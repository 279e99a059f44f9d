#include "serialno/SerializationForm.h"

#include "base/TextFormat.h"
#include "image/ParseNumber.h"
#include "jobs/SerialPlacement.h"
#include "serialno/SerialBytes.h"
#include "serialno/SerialConfigFile.h"

namespace pyrola {

namespace {
// What the dialog reads from its edit fields.
constexpr size_t kFieldLength = 255;
} // namespace

SerializationForm::SerializationForm(ProfileFile& profile, SerialBlock& block, MessageBus& mainWindow,
                                     std::function<bool()> jobRunning, SharedSerialFile* shared)
    : profile_(profile), block_(block), mainWindow_(mainWindow), jobRunning_(std::move(jobRunning)),
      shared_(shared) {}

const std::array<const char*, 5>& SerializationForm::PlaceAsNames() {
    static const std::array<const char*, 5> names = {SerialTypeName(0), SerialTypeName(1), SerialTypeName(2),
                                                     SerialTypeName(3), SerialTypeName(4)};
    return names;
}

int SerializationForm::PlaceAsSelection() const {
    return config_.type < kSerialTypeCount ? static_cast<int>(config_.type) : -1;
}

bool SerializationForm::JobButtonsEnabled() const {
    return !jobRunning_ || !jobRunning_();
}

void SerializationForm::Opened() {
    RefreshFields();
    RefreshInMemory();
}

void SerializationForm::Closed() {
    mainWindow_.Post(kBusJobState, 0);
}

void SerializationForm::RefreshFields() {
    RewriteAddressField(Format("0x%X", unsigned(config_.address)));
    RewriteNumberField(config_.serial);
}

void SerializationForm::RewriteAddressField(const std::string& text) {
    AddressEdited(text);
}

void SerializationForm::RewriteNumberField(const std::string& text) {
    NumberEdited(text);
}

namespace {

// Blanks, then decimal digits or "0x" and hexadecimal digits, then blanks only.
bool WholeNumber(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return false;
    const bool hex = text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0;
    if (hex)
        i += 2;
    const size_t digits = text.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789", i);
    const size_t end = digits == std::string::npos ? text.size() : digits;
    return end > i && text.find_first_not_of(" \t", end) == std::string::npos;
}

} // namespace

void SerializationForm::AddressEdited(const std::string& text) {
    addressText_ = text;
    bool ok = false;
    const std::string field = text.substr(0, kFieldLength);
    const int32_t value = ParseNumber(field.c_str(), 0, 0, &ok);
    // The whole field must be the number: "0x1G00" is a typo, not the address 0x1.
    if (ok && !WholeNumber(field)) {
        ok = false;
    }
    if (ok) {
        config_.address = static_cast<uint32_t>(value);
        addressCheckText_.clear();
    } else {
        addressCheckText_ = kSerialInvalidInputText;
    }
    // The block no longer says what lies at the address.
    inMemoryText_ = kSerialUnknownText;
    RefreshOverlap();
}

void SerializationForm::NumberEdited(const std::string& text) {
    numberText_ = text;
    if (skipNumberChange_) {
        skipNumberChange_ = false;
        return;
    }
    ParseNumberField();
}

void SerializationForm::PlaceAsSelected(int index) {
    if (index < 0)
        return;
    config_.type = static_cast<uint32_t>(index);
    ParseNumberField();
}

void SerializationForm::ParseNumberField() {
    if (format_.ParseSerial(numberText_.substr(0, kFieldLength), true)) {
        numberCheckText_.clear();
        currentText_ = config_.serial;
    } else {
        numberCheckText_ = kSerialInvalidInputText;
        currentText_ = kSerialUnknownText;
    }
    sizeText_ = Format("Size: %d bytes", static_cast<int>(SerialSize(format_)));
    RefreshOverlap();
}

std::string SerializationForm::ImageOverlap(const SerialConfig& config) const {
    if (!image_)
        return {};
    SerialConfig copy = config;
    SerialFormat format(copy);
    if (!format.ParseSerial(copy.serial, true))
        return {};
    SerialBlock serial;
    ComposeSerialBytes(format, serial);
    return SerialImageOverlapText(serial, FindSerialImageOverlap(*image_, serial));
}

void SerializationForm::RefreshOverlap() {
    overlapWarning_ = ImageOverlap(config_).empty() ? std::string() : std::string(kSerialOnImageText);
}

void SerializationForm::IncClicked() {
    format_.StepUp();
    ShowStepped();
}

void SerializationForm::DecClicked() {
    format_.StepDown();
    ShowStepped();
}

void SerializationForm::ShowStepped() {
    skipNumberChange_ = true;
    currentText_ = config_.serial;
    RewriteNumberField(config_.serial);
    // The field now holds the rendered serial, which may be longer than before
    // (TEST99999M2 steps to TEST100000M2): its check and size follow it.
    numberCheckText_.clear();
    sizeText_ = Format("Size: %d bytes", static_cast<int>(SerialSize(format_)));
    RefreshOverlap();
}

bool SerializationForm::RequestJob(uint32_t code) {
    // A running job's worker may be reading or writing the block.
    if (!JobButtonsEnabled())
        return false;
    ComposeSerialBytes(format_, block_);
    mainWindow_.Send(code, 0);
    return true;
}

bool SerializationForm::ReadClicked() {
    return RequestJob(kBusReadSerial);
}

bool SerializationForm::WriteClicked() {
    fileProblemText_.clear();
    RefreshOverlap();
    if (!shared_ || configFileText_.empty()) {
        const std::string overlap = ImageOverlap(config_);
        if (!overlap.empty()) {
            fileProblemText_ = "Write refused. " + overlap + ".";
            return false;
        }
        return RequestJob(kBusWriteSerial);
    }
    if (!JobButtonsEnabled())
        return false;
    // The board gets the file's number, whatever this dialog last showed: a headless run
    // may have taken numbers since. A serial on the image takes none.
    const SerialTake take =
        shared_->Take(configFileText_, [this](const SerialConfig& config) { return ImageOverlap(config); });
    if (!take.problem.empty()) {
        fileProblemText_ = Format("Write refused. \"%s\": %s", configFileText_.c_str(), take.problem.c_str());
        return false;
    }
    SerialConfig taken = take.config;
    SerialFormat takenFormat(taken);
    takenFormat.ParseSerial(taken.serial, true);
    ComposeSerialBytes(takenFormat, block_);
    // The fields go on from the file's next number.
    config_ = take.config;
    config_.serial = take.next;
    RefreshFields();
    mainWindow_.Send(kBusWriteSerial, 0);
    return true;
}

void SerializationForm::NewClicked() {
    config_ = SerialConfig{};
    configFileText_.clear();
    fileProblemText_.clear();
    RefreshFields();
}

void SerializationForm::OpenChosen(const std::optional<std::string>& path) {
    fileProblemText_.clear();
    if (path) {
        configFileText_ = *path;
        config_ = ReadSerialConfig(profile_, *path);
    }
    RefreshFields();
}

bool SerializationForm::SaveChosen(const std::optional<std::string>& path) {
    fileProblemText_.clear();
    if (!path)
        return true;
    configFileText_ = *path;
    if (shared_) {
        const std::string problem = shared_->Store(*path, config_);
        if (problem.empty())
            return true;
        fileProblemText_ = Format("Save refused. \"%s\": %s", path->c_str(), problem.c_str());
        return false;
    }
    if (WriteSerialConfig(profile_, *path, config_))
        return true;
    fileProblemText_ = Format("Save failed. Can't write \"%s\"", path->c_str());
    return false;
}

void SerializationForm::RefreshInMemory() {
    inMemoryText_ = DecodeSerial(block_, config_.type);
}

} // namespace pyrola
