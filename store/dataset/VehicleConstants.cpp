#include "store/dataset/VehicleConstants.h"

namespace quillmar {

const VehicleConstants& DefaultVehicleConstants() {
    static const VehicleConstants constants;
    return constants;
}

} // namespace quillmar
