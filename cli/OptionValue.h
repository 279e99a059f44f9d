#pragma once
// The value of a program option given as the next argument. A value that starts with "-"
// or "+" is far more often a forgotten value than a file of that name ("--log -fet +v"
// would otherwise log into a file named "-fet" and run on the stored adapter): such a
// value is taken only when written in one argument with "=" ("--log=-odd.csv").

#include <optional>
#include <string>
#include <vector>

namespace pyrola::cli {

struct OptionValue {
    std::optional<std::string> value;
    // Why the value was refused; empty when it was not.
    std::string error;
};

// The value of option `name` standing at arguments[index] ("--name" alone, or
// "--name=VALUE"); when it is taken from the next argument, index moves past it.
// `what` names the expected value in the error text ("a file name").
OptionValue TakeOptionValue(const std::vector<std::string>& arguments, size_t& index, const std::string& name,
                            const char* what);

} // namespace pyrola::cli
