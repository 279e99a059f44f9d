#include "platform/InstanceChannel.h"

namespace pyrola {

const char* HandOverResultText(HandOverResult result) {
    switch (result) {
    case HandOverResult::Delivered:
        return "Command line handed over to the running instance";
    case HandOverResult::TooLong:
        return "Command line longer than 259 characters: not handed over";
    case HandOverResult::NoInstance:
        return "No running instance to hand the command line to";
    case HandOverResult::Failed:
        break;
    }
    return "Could not hand the command line over to the running instance";
}

} // namespace pyrola
