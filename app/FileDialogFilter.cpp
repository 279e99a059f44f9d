#include "app/FileDialogFilter.h"

#include "image/FileFormat.h"

namespace pyrola {

namespace {

struct FormatExtensions {
    FileFormat format;
    std::vector<const char*> extensions;
};

// The extensions of FileFormatForExtension, grouped by format in the filter's order.
const std::vector<FormatExtensions>& Groups() {
    static const std::vector<FormatExtensions> groups = {
        {FileFormat::Binary, {"bin", "dat", "tsk"}},
        {FileFormat::TiTxt, {"txt"}},
        {FileFormat::IntelHex, {"hex", "a43"}},
        {FileFormat::Elf, {"elf", "out"}},
        {FileFormat::SRecord, {"s19", "s28", "s37", "srec", "mot"}},
    };
    return groups;
}

// " (.a;.b)" for the name and "*.a;*.b" for the patterns.
void AddExtensions(const std::vector<const char*>& extensions, std::string& shown, std::string& patterns) {
    for (const char* extension : extensions) {
        shown += std::string(shown.empty() ? "" : ";") + "." + extension;
        patterns += std::string(patterns.empty() ? "" : ";") + "*." + extension;
    }
}

} // namespace

const std::vector<FileDialogFilterEntry>& FileDialogFilter() {
    static const std::vector<FileDialogFilterEntry> filter = [] {
        std::vector<FileDialogFilterEntry> entries;
        std::string allShown, allPatterns;
        for (const FormatExtensions& group : Groups()) {
            std::string shown, patterns;
            AddExtensions(group.extensions, shown, patterns);
            AddExtensions(group.extensions, allShown, allPatterns);
            entries.push_back(
                {std::string(FileFormatName(group.format)) + " Files (" + shown + ")", patterns});
        }
        entries.insert(entries.begin(), {"All Known Files (" + allShown + ")", allPatterns});
        entries.push_back({"All Files (*.*)", "*.*"});
        return entries;
    }();
    return filter;
}

} // namespace pyrola
