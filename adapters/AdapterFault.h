#pragma once
// A hardware fault raised inside a vendor library an adapter calls. The adapter throws it
// once the fault guard has brought the thread back; the job engine's step guard logs it
// and ends the list, so the program goes on.

#include <stdexcept>

namespace pyrola {

class AdapterFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace pyrola
