#include "cli/OptionValue.h"

#include "base/TextFormat.h"

namespace pyrola::cli {

OptionValue TakeOptionValue(const std::vector<std::string>& arguments, size_t& index, const std::string& name,
                            const char* what) {
    OptionValue result;
    const std::string& argument = arguments[index];
    if (argument.size() > name.size() && argument[name.size()] == '=') {
        result.value = argument.substr(name.size() + 1);
        if (result.value->empty())
            result.error = Format("Option '%s' needs %s", name.c_str(), what);
        return result;
    }
    if (index + 1 >= arguments.size()) {
        result.error = Format("Option '%s' needs %s", name.c_str(), what);
        return result;
    }
    const std::string& next = arguments[index + 1];
    if (next.empty() || next[0] == '-' || next[0] == '+') {
        result.error = Format("Option '%s' needs %s, not '%s' (write %s=%s if that is meant)", name.c_str(),
                              what, next.c_str(), name.c_str(), next.c_str());
        return result;
    }
    result.value = next;
    ++index;
    return result;
}

} // namespace pyrola::cli
