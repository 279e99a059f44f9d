#include "adapters/bsl/BslPassword.h"

#include "image/MemoryImage.h"

namespace pyrola {

BslPassword BslPasswordFromImage(const MemoryImage& image) {
    BslPassword password = kBslErasedPassword;
    if (image.High() < kBslPasswordAddress + kBslPasswordLength - 1)
        return password;
    for (uint32_t i = 0; i < password.size(); ++i) {
        const uint32_t address = kBslPasswordAddress + i;
        password[i] = image.IsPresent(address) ? image.ValueAt(address) : 0xFF;
    }
    return password;
}

} // namespace pyrola
